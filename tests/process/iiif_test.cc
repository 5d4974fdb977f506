// The IIIF service through the built program with the real converter: its
// documents, redirect and refusals as a web server receives them.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "platform/slot_lock.h"
#include "tests/support/json_value.h"
#include "tests/support/picture.h"
#include "tests/support/process_harness.h"
#include "tests/support/tiff_fixtures.h"

namespace ostrel::testing {
namespace {

FixturePage G4Page(uint32_t width, uint32_t height, float x_resolution, float y_resolution) {
  return FixturePage{.width = width,
                     .height = height,
                     .bits_per_sample = 1,
                     .photometric = PHOTOMETRIC_MINISWHITE,
                     .compression = COMPRESSION_CCITTFAX4,
                     .x_resolution = x_resolution,
                     .y_resolution = y_resolution,
                     .samples = PackSamples(PatternSamples(width * height, 2, 3), 1, width)};
}

struct Response {
  std::string head;  // the status and header lines, up to the empty line
  std::string body;
};

Response Split(const std::string& output) {
  const size_t end = output.find("\r\n\r\n");
  if (end == std::string::npos) {
    return {output, ""};
  }
  return {output.substr(0, end + 4), output.substr(end + 4)};
}

class IiifTest : public ::testing::Test {
 protected:
  IiifTest() {
    sandbox_.InstallExecutable(OSTREL_CONVERTER, "Caskle.ClsCaskle");
    for (const char* directory : {"tmp", "images", "images/docs", "outside"}) {
      if (mkdir(sandbox_.PathOf(directory).c_str(), 0755) != 0) {
        throw std::runtime_error("cannot make the sandbox's directories");
      }
    }
    // Page 2 is a fax at 204 x 98 dpi: its image is 1728 x 2338.
    WriteTiff(sandbox_.PathOf("images/docs/three.tif"),
              {G4Page(413, 584, 50, 50), G4Page(1728, 1123, 204, 98), G4Page(300, 200, 0, 0)});
    WriteTiff(sandbox_.PathOf("outside/secret.tif"), {G4Page(8, 8, 0, 0)});
    if (symlink("../outside/secret.tif", sandbox_.PathOf("images/out.tif").c_str()) != 0) {
      throw std::runtime_error("cannot link");
    }
    Configure("Root=" + sandbox_.PathOf("images") + "\n");
  }

  void Configure(const std::string& iiif_lines, const std::string& converter_lines = "") const {
    sandbox_.WriteFile("Varnow.ini", "[Converter]\nTempDir=" + sandbox_.PathOf("tmp") + "/\n" +
                                         converter_lines + "[IIIF]\n" + iiif_lines);
  }

  RunResult Request(const std::string& path, const std::string& method = "GET",
                    const std::string& script = "/cgi-bin/ostrel",
                    std::vector<std::pair<std::string, std::string>> extra = {}) const {
    std::vector<std::pair<std::string, std::string>> environment = {
        {"GATEWAY_INTERFACE", "CGI/1.1"},
        {"REQUEST_METHOD", method},
        {"SCRIPT_NAME", script},
        {"PATH_INFO", "/iiif/" + path.substr(path.find("/iiif/") + 6)},
        {"REQUEST_URI", script + path},
        {"HTTP_HOST", "example.org:8080"}};
    environment.insert(environment.end(), extra.begin(), extra.end());
    return sandbox_.Run({.environment = environment});
  }

  // Nothing but the conversion slots' lock files, which stay for good.
  bool NothingLeftBehind() const {
    for (const auto& entry : std::filesystem::directory_iterator(sandbox_.PathOf("tmp"))) {
      if (!entry.path().filename().string().starts_with(kSlotFilePrefix)) {
        return false;
      }
    }
    return true;
  }

  ProgramSandbox sandbox_{OSTREL_PROGRAM};
};

const std::string kService = "http://example.org:8080/cgi-bin/ostrel/iiif/3/docs%2Fthree";

TEST_F(IiifTest, InfoJsonOfAPageDescribesItsSquarePixelGridAndLinksTheManifest) {
  const RunResult result = Request("/iiif/3/docs%2Fthree;2/info.json");
  const Response response = Split(result.output);
  EXPECT_EQ(response.head,
            "Status: 200 OK\r\n"
            "Access-Control-Allow-Origin: *\r\n"
            "Content-Type: application/json\r\n"
            "Vary: Accept\r\n"
            "Link: <http://iiif.io/api/image/3/level2.json>;rel=\"profile\"\r\n" +
                ValidatorLines(response.head, sandbox_.PathOf("images/docs/three.tif"),
                               "public, max-age=3600") +
                "Content-Length: " + std::to_string(response.body.size()) + "\r\n\r\n");
  const std::optional<JsonValue> info = ParseJson(response.body);
  ASSERT_TRUE(info.has_value()) << response.body;
  EXPECT_EQ((*info)["id"].string, kService + ";2");
  EXPECT_EQ((*info)["type"].string, "ImageService3");
  EXPECT_EQ((*info)["width"].number, 1728);
  EXPECT_EQ((*info)["height"].number, 2338);
  EXPECT_EQ((*info)["maxArea"].number, 16777216);
  EXPECT_EQ((*info)["tiles"].items.at(0)["width"].number, 512);
  EXPECT_EQ((*info)["partOf"].items.at(0)["id"].string, kService + "/manifest");
  EXPECT_EQ(result.log_lines, std::vector<std::string>{"ostrel: message: 0"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_TRUE(NothingLeftBehind());
}

TEST_F(IiifTest, InfoJsonFollowsTheRequestsVersionAcceptHeaderAndConfiguredLimits) {
  Configure("Root=" + sandbox_.PathOf("images") +
            "\nMaxWidth=2000\nMaxHeight=3000\nMaxArea=4000000\nTileSize=256\n");
  const RunResult result = Request("/iiif/2/docs%2Fthree.tif/info.json", "GET", "/cgi-bin/ostrel",
                                   {{"HTTP_ACCEPT", "application/ld+json"}});
  const Response response = Split(result.output);
  EXPECT_NE(response.head.find("\r\nContent-Type: application/ld+json;profile=\""
                               "http://iiif.io/api/image/2/context.json\"\r\n"),
            std::string::npos)
      << response.head;
  EXPECT_NE(response.head.find("\r\nLink: <http://iiif.io/api/image/2/level2.json>;"
                               "rel=\"profile\"\r\n"),
            std::string::npos);
  const std::optional<JsonValue> info = ParseJson(response.body);
  ASSERT_TRUE(info.has_value()) << response.body;
  EXPECT_EQ((*info)["@id"].string,
            "http://example.org:8080/cgi-bin/ostrel/iiif/2/docs%2Fthree.tif");
  EXPECT_EQ((*info)["width"].number, 413);
  EXPECT_EQ((*info)["tiles"].items.at(0)["width"].number, 256);
  EXPECT_EQ((*info)["profile"].items.at(1)["maxArea"].number, 4000000);
}

TEST_F(IiifTest, TheManifestHasACanvasForEveryPage) {
  const RunResult result = Request("/iiif/3/docs%2Fthree/manifest");
  const Response response = Split(result.output);
  EXPECT_EQ(response.head,
            "Status: 200 OK\r\nAccess-Control-Allow-Origin: *\r\n"
            "Content-Type: application/json\r\nVary: Accept\r\n" +
                ValidatorLines(response.head, sandbox_.PathOf("images/docs/three.tif"),
                               "public, max-age=3600") +
                "Content-Length: " + std::to_string(response.body.size()) + "\r\n\r\n");
  const std::optional<JsonValue> manifest = ParseJson(response.body);
  ASSERT_TRUE(manifest.has_value()) << response.body;
  EXPECT_EQ((*manifest)["id"].string, kService + "/manifest");
  EXPECT_EQ((*manifest)["type"].string, "Manifest");
  const std::vector<JsonValue>& canvases = (*manifest)["items"].items;
  ASSERT_EQ(canvases.size(), 3u);
  const double sizes[3][2] = {{413, 584}, {1728, 2338}, {300, 200}};
  for (size_t index = 0; index < 3; ++index) {
    EXPECT_EQ(canvases[index]["width"].number, sizes[index][0]);
    EXPECT_EQ(canvases[index]["height"].number, sizes[index][1]);
    EXPECT_EQ(canvases[index]["label"]["none"].Strings(),
              std::vector<std::string>{"Page " + std::to_string(index + 1)});
  }
  EXPECT_TRUE(NothingLeftBehind());
}

TEST_F(IiifTest, TheBaseUriRedirectsToItsInfoJson) {
  const std::string location = kService + ";2/info.json";
  for (const auto& [script, status] :
       {std::pair{"/cgi-bin/ostrel", "Status: 303 See Other"},
        std::pair{"/cgi-bin/nph-ostrel", "HTTP/1.0 303 See Other"}}) {
    std::string expected_location = location;
    expected_location.replace(expected_location.find("/cgi-bin/ostrel"), 15, script);
    const RunResult result = Request("/iiif/3/docs%2Fthree;2", "GET", script);
    EXPECT_EQ(result.output, std::string(status) +
                                 "\r\nAccess-Control-Allow-Origin: *\r\n"
                                 "Content-Type: text/plain; charset=utf-8\r\n"
                                 "Location: " +
                                 expected_location + "\r\nContent-Length: " +
                                 std::to_string(expected_location.size() + 1) + "\r\n\r\n" +
                                 expected_location + "\n");
    EXPECT_TRUE(result.log_lines.empty());
  }
}

// A copy a client holds is confirmed from the file's state alone: no
// converter runs (it would log its result code). Another request, another
// media type, other limits or a replaced file make another tag.
TEST_F(IiifTest, AHeldCopyIsConfirmedWithoutConvertingUntilAnythingItDependsOnChanges) {
  const std::string file = sandbox_.PathOf("images/docs/three.tif");
  const std::vector<std::string> paths = {"/iiif/3/docs%2Fthree;2/info.json",
                                          "/iiif/3/docs%2Fthree/manifest",
                                          "/iiif/2/docs%2Fthree;2/0,0,64,64/max/0/default.png"};
  std::vector<std::string> tags;
  for (const std::string& path : paths) {
    const Response first = Split(Request(path).output);
    const std::string etag = HeaderValue(first.head, "ETag");
    tags.push_back(etag);
    const bool document = path.find("default.png") == std::string::npos;
    const std::string not_modified =
        "Status: 304 Not Modified\r\nAccess-Control-Allow-Origin: *\r\n" +
        ValidatorLines(first.head, file,
                       document ? "public, max-age=3600" : "public, max-age=86400") +
        (document ? "Vary: Accept\r\n" : "") + "\r\n";
    for (const auto& [method, header, value] :
         {std::tuple{"GET", "HTTP_IF_NONE_MATCH", etag},
          std::tuple{"HEAD", "HTTP_IF_NONE_MATCH", "\"other\", W/" + etag},
          std::tuple{"GET", "HTTP_IF_MODIFIED_SINCE", HeaderValue(first.head, "Last-Modified")}}) {
      const RunResult held = Request(path, method, "/cgi-bin/ostrel", {{header, value}});
      EXPECT_EQ(held.output, not_modified) << path << " " << header;
      EXPECT_TRUE(held.log_lines.empty()) << path;
    }
    const RunResult other =
        Request(path, "GET", "/cgi-bin/ostrel", {{"HTTP_IF_NONE_MATCH", "\"other\""}});
    EXPECT_EQ(other.output.substr(0, 16), "Status: 200 OK\r\n") << path;
  }
  const auto tag_of = [&](const std::string& path,
                          std::vector<std::pair<std::string, std::string>> extra = {}) {
    return HeaderValue(Request(path, "GET", "/cgi-bin/ostrel", std::move(extra)).output, "ETag");
  };
  EXPECT_EQ(tag_of(paths[0]), tags[0]);
  tags.push_back(tag_of(paths[0], {{"HTTP_ACCEPT", "application/ld+json"}}));
  tags.push_back(tag_of("/iiif/3/docs%2Fthree;1/info.json"));
  tags.push_back(tag_of("/iiif/2/docs%2Fthree;2/0,0,64,64/max/0/gray.png"));
  Configure("Root=" + sandbox_.PathOf("images") + "\nTileSize=256\n");
  tags.push_back(tag_of(paths[0]));
  WriteTiff(file + ".new", {G4Page(413, 584, 50, 50), G4Page(1728, 1123, 204, 98)});
  ASSERT_EQ(rename((file + ".new").c_str(), file.c_str()), 0);
  tags.push_back(tag_of(paths[0]));
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(std::unique(tags.begin(), tags.end()), tags.end());
  EXPECT_TRUE(NothingLeftBehind());
}

std::string TextResponse(const std::string& status, const std::string& text) {
  return "Status: " + status +
         "\r\nAccess-Control-Allow-Origin: *\r\nContent-Type: text/plain; charset=utf-8\r\n"
         "Cache-Control: no-store\r\nContent-Length: " +
         std::to_string(text.size() + 1) + "\r\n\r\n" + text + "\n";
}

// The pixels of `page` inside the rectangle, top row first.
Picture Crop(const Picture& page, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  Picture crop{width, height, {}, 0};
  for (uint32_t row = y; row < y + height; ++row) {
    for (uint32_t column = x; column < x + width; ++column) {
      crop.pixels.push_back(page.pixels[row * page.width + column]);
    }
  }
  return crop;
}

TEST_F(IiifTest, ImagesAreTheRegionsAskedAtTheirSizeTurnAndFormat) {
  const Picture page3 =
      PictureOfRgba(LibtiffRgba(sandbox_.PathOf("images/docs/three.tif"), 3), 300, 200);
  const struct {
    const char* path;  // after ".../iiif/"
    const char* media_type;
    const char* canonical;  // the service's id + "/" + this
    uint32_t width;
    uint32_t height;
    std::optional<std::pair<uint32_t, uint32_t>> exact_at;  // the page's pixels from there on
  } cases[] = {
      {"3/docs%2Fthree;3/10,20,64,32/max/0/default.png", "image/png",
       "3/docs%2Fthree;3/10,20,64,32/max/0/default.png", 64, 32, std::pair(10u, 20u)},
      {"3/docs%2Fthree;3/290,190,64,32/max/0/default.png", "image/png",
       "3/docs%2Fthree;3/290,190,10,10/max/0/default.png", 10, 10, std::pair(290u, 190u)},
      {"3/docs%2Fthree;3/full/pct:50/!90/gray.jpg", "image/jpeg",
       "3/docs%2Fthree;3/full/150,100/!90/gray.jpg", 100, 150, std::nullopt},
      {"2/docs%2Fthree;3/square/50,/180/bitonal.gif", "image/gif",
       "2/docs%2Fthree;3/50,0,200,200/50,/180/bitonal.gif", 50, 50, std::nullopt},
      // The fax's grid stretches its 98 dpi rows to 204 dpi: 2338 rows.
      {"3/docs%2Fthree;2/0,1826,512,512/!256,256/0/default.png", "image/png",
       "3/docs%2Fthree;2/0,1826,512,512/256,256/0/default.png", 256, 256, std::nullopt},
  };
  for (const auto& c : cases) {
    const RunResult result = Request("/iiif/" + std::string(c.path));
    const Response response = Split(result.output);
    EXPECT_EQ(response.head.substr(0, 16), "Status: 200 OK\r\n") << c.path;
    EXPECT_NE(response.head.find("Content-Type: " + std::string(c.media_type) + "\r\n"),
              std::string::npos)
        << response.head;
    EXPECT_NE(response.head.find("Link: <http://example.org:8080/cgi-bin/ostrel/iiif/" +
                                 std::string(c.canonical) + ">;rel=\"canonical\"\r\n"),
              std::string::npos)
        << response.head;
    const std::string media_type = c.media_type;
    const Picture picture = media_type == "image/png" ? DecodePng(response.body)
                            : media_type == "image/jpeg"
                                ? DecodeJpegPicture(response.body)
                                : PictureOfGif(DecodeGifBytes(response.body));
    EXPECT_EQ(picture.width, c.width) << c.path;
    EXPECT_EQ(picture.height, c.height) << c.path;
    if (c.exact_at) {
      const Picture want = Crop(page3, c.exact_at->first, c.exact_at->second, c.width, c.height);
      EXPECT_EQ(Differences(picture, want), 0) << c.path;
    }
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_TRUE(NothingLeftBehind()) << c.path;
  }
}

TEST_F(IiifTest, RefusalsCarryTheirStatusAndTellNothingOfWhatLiesOutside) {
  const struct {
    const char* path;
    const char* status;
    const char* text;
  } cases[] = {
      {"/iiif/3/docs%2Fabsent/info.json", "404 Not Found", "no such image"},
      {"/iiif/3/out/info.json", "404 Not Found", "no such image"},
      {"/iiif/3/..%2Foutside%2Fsecret/info.json", "404 Not Found", "no such image"},
      {"/iiif/3/docs%2Fthree;4/info.json", "404 Not Found", "no such page"},
      {"/iiif/3/docs%2Fthree;0/info.json", "400 Bad Request",
       "a page number counts from 1, without leading zeros"},
      {"/iiif/3/docs%2Fthree;2/manifest", "400 Bad Request",
       "a manifest names a whole file, without a page"},
      {"/iiif/3/docs%2Fthree;3/full/^400,/0/default.png", "501 Not Implemented",
       "enlarging an image is not supported"},
      {"/iiif/3/docs%2Fthree;3/full/max/45/default.png", "501 Not Implemented",
       "only rotations by multiples of 90 degrees are supported"},
      {"/iiif/3/docs%2Fthree;3/300,0,10,10/max/0/default.png", "400 Bad Request",
       "the region lies outside the image"},
  };
  for (const auto& c : cases) {
    const RunResult result = Request(c.path);
    EXPECT_EQ(result.output, TextResponse(c.status, c.text)) << c.path;
    EXPECT_EQ(result.exit_status, 0);
  }
  for (const char* path : {"/iiif/3/docs%2Fthree/full/max/0", "/iiif/3/docs%2Fthree/info.json/x",
                           "/iiif/3/docs%2Fthree/full/max/0/default.tif", "/iiif/3/a%2/info.json",
                           "/iiif/2/docs%2Fthree/manifest"}) {
    EXPECT_EQ(Split(Request(path).output).head.substr(0, 24), "Status: 400 Bad Request\r") << path;
  }
}

TEST_F(IiifTest, WithoutARootEveryIdentifierIsUnknown) {
  Configure("");
  EXPECT_EQ(Request("/iiif/3/docs%2Fthree/info.json").output,
            TextResponse("404 Not Found", "no such image"));
}

TEST_F(IiifTest, AFailureIsAnswered500AndLogged) {
  Configure("Root=" + sandbox_.PathOf("images") + "\nTileSize=big\n");
  const RunResult result = Request("/iiif/3/docs%2Fthree/info.json");
  EXPECT_EQ(result.output, TextResponse("500 Internal Server Error", "internal error"));
  EXPECT_EQ(result.log_lines,
            std::vector<std::string>{
                "ostrel: error: ServeIiif: /cgi-bin/ostrel/iiif/3/docs%2Fthree/info.json, Invalid "
                "argument: IIIF TileSize must be a whole number from 1 to 2147483647 Error "
                "Number =  5"});
}

TEST_F(IiifTest, PastTheConversionSlotsEveryAnswerThatConvertsIs503WithRetryAfter) {
  Configure("Root=" + sandbox_.PathOf("images") + "\n", "ConversionSlots=1\nSlotWait=1\n");
  std::optional<SlotLock> held = SlotLock::Take(sandbox_.PathOf("tmp"), 1, 0);
  ASSERT_TRUE(held.has_value());
  const std::string text = "busy: no conversion slot of 1 came free within 1 s; try again later";
  for (const char* path : {"/iiif/3/docs%2Fthree;2/info.json", "/iiif/3/docs%2Fthree/manifest",
                           "/iiif/3/docs%2Fthree;3/full/max/0/default.png"}) {
    const RunResult result = Request(path);
    EXPECT_EQ(
        result.output,
        "Status: 503 Service Unavailable\r\nAccess-Control-Allow-Origin: *\r\n"
        "Content-Type: text/plain; charset=utf-8\r\nCache-Control: no-store\r\nRetry-After: 1\r\n"
        "Content-Length: " +
            std::to_string(text.size() + 1) + "\r\n\r\n" + text + "\n")
        << path;
    EXPECT_TRUE(result.log_lines.empty()) << path;
  }
  // The redirect converts nothing and needs no slot.
  EXPECT_EQ(Split(Request("/iiif/3/docs%2Fthree").output).head.substr(0, 24),
            "Status: 303 See Other\r\nA");
  held.reset();
  EXPECT_EQ(
      Split(Request("/iiif/3/docs%2Fthree;3/full/max/0/default.png").output).head.substr(0, 16),
      "Status: 200 OK\r\n");
  EXPECT_TRUE(NothingLeftBehind());
}

TEST_F(IiifTest, MaxAreaFollowsMaxImageBytesAndEveryImageWithinItIsServed) {
  // Noise: what every format compresses worst.
  std::mt19937 random(7);
  std::vector<uint8_t> noise(size_t{1000} * 1000 * 3);
  for (uint8_t& sample : noise) {
    sample = static_cast<uint8_t>(random());
  }
  WriteTiff(sandbox_.PathOf("images/noise.tif"), {{.width = 1000,
                                                   .height = 1000,
                                                   .samples_per_pixel = 3,
                                                   .photometric = PHOTOMETRIC_RGB,
                                                   .samples = noise}});
  constexpr int64_t kMaxImageBytes = 4000000;
  Configure("Root=" + sandbox_.PathOf("images") + "\n",
            "MaxImageBytes=" + std::to_string(kMaxImageBytes) + "\n");
  const Response response = Split(Request("/iiif/3/noise/info.json").output);
  const std::optional<JsonValue> info = ParseJson(response.body);
  ASSERT_TRUE(info.has_value()) << response.head << response.body;
  const double max_area = (*info)["maxArea"].number;
  // Lowered from 4096 x 4096, yet larger than a tile.
  EXPECT_LT(max_area, 1000000);
  EXPECT_GT(max_area, 512 * 512);
  for (const char* format : {"png", "jpg", "gif"}) {
    const Response image =
        Split(Request("/iiif/3/noise/full/max/0/default." + std::string(format)).output);
    ASSERT_EQ(image.head.substr(0, 16), "Status: 200 OK\r\n") << format << image.body;
    EXPECT_LE(image.body.size(), static_cast<size_t>(kMaxImageBytes)) << format;
    const Picture picture = std::string(format) == "png" ? DecodePng(image.body)
                            : std::string(format) == "jpg"
                                ? DecodeJpegPicture(image.body)
                                : PictureOfGif(DecodeGifBytes(image.body));
    EXPECT_LE(int64_t{picture.width} * picture.height, max_area) << format;
    EXPECT_GT(int64_t{picture.width + 1} * (picture.height + 1), max_area) << format;
  }
  // A size beyond it is refused before anything is converted.
  EXPECT_EQ(Request("/iiif/3/noise/full/1000,1000/0/default.png").output,
            TextResponse("400 Bad Request",
                         "the scaled image would be larger than the service's limits"));
  EXPECT_TRUE(NothingLeftBehind());
}

TEST_F(IiifTest, HeadGetsTheHeadersOfGetAlone) {
  const Response get = Split(Request("/iiif/3/docs%2Fthree/info.json").output);
  const RunResult head = Request("/iiif/3/docs%2Fthree/info.json", "HEAD");
  EXPECT_FALSE(get.body.empty());
  EXPECT_EQ(head.output, get.head);
}

TEST_F(IiifTest, OptionsAnswersAPreflightAndOtherMethodsAreNotAllowed) {
  EXPECT_EQ(Request("/iiif/3/docs%2Fthree/info.json", "OPTIONS", "/cgi-bin/ostrel",
                    {{"HTTP_ACCESS_CONTROL_REQUEST_HEADERS", "x-requested-with"}})
                .output,
            "Status: 204 No Content\r\nAccess-Control-Allow-Origin: *\r\n"
            "Access-Control-Allow-Methods: GET, HEAD, OPTIONS\r\n"
            "Access-Control-Allow-Headers: x-requested-with\r\n"
            "Access-Control-Max-Age: 86400\r\n\r\n");
  const std::string text = "the service answers GET, HEAD and OPTIONS";
  EXPECT_EQ(Request("/iiif/3/docs%2Fthree/info.json", "POST").output,
            "Status: 405 Method Not Allowed\r\nAccess-Control-Allow-Origin: *\r\n"
            "Content-Type: text/plain; charset=utf-8\r\nAllow: GET, HEAD, OPTIONS\r\n"
            "Content-Length: " +
                std::to_string(text.size() + 1) + "\r\n\r\n" + text + "\n");
}

}  // namespace
}  // namespace ostrel::testing
