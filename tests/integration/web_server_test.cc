// Ostrel installed with `cmake --install` and run by real web servers on
// loopback, as users deploy it: lighttpd, Apache httpd and nginx with
// fcgiwrap, each mounting it through its snippet in deploy/.
#include "tests/support/web_server.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "platform/slot_lock.h"
#include "tests/support/gif_image.h"
#include "tests/support/json_value.h"
#include "tests/support/picture.h"
#include "tests/support/process_harness.h"
#include "tests/support/tiff_fixtures.h"

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;

// The site: the installed tree, its Varnow.ini, the TIFF images and the
// temporary directory, all readable (and the last writable) by the user
// the server runs the program as.
size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class WebServerTest : public ::testing::TestWithParam<ServerKind> {
 protected:
  void SetUp() override {
    const std::string install = root_.PathOf("ostrel");
    InstallBuiltTree(install);
    fs::create_directories(images());
    fs::create_directories(temporary());
    root_.WriteFile("ostrel/Varnow.ini",
                    "[Converter]\nTempDir=" + temporary() + "/\n[IIIF]\nRoot=" + images() + "\n");
    fs::permissions(root_.path(), fs::perms(0755));
    fs::permissions(temporary(), fs::perms(01777));
    page_ = FixturePage{.width = 333,
                        .height = 250,
                        .bits_per_sample = 1,
                        .photometric = PHOTOMETRIC_MINISWHITE,
                        .compression = COMPRESSION_CCITTFAX4,
                        .samples = PackSamples(PatternSamples(333 * 250, 2, 9), 1, 333)};
    WriteTiff(images() + "/page.tif", {page_});
    fs::permissions(images() + "/page.tif", fs::perms(0644));
    fs::create_directories(images() + "/docs");
    WriteTiff(images() + "/docs/three.tif", {page_, page_, page_});
    fs::permissions(images() + "/docs/three.tif", fs::perms(0644));
    server_ = std::make_unique<WebServer>(GetParam(), install, root_.PathOf("server"));
  }

  std::string images() const { return root_.PathOf("images"); }
  std::string temporary() const { return root_.PathOf("tmp"); }
  std::string Query(const std::string& fn) const {
    return server_->script_path() + "?FN=" + fn + "&Path=" + images() + "/";
  }
  // No file: the web server's user may keep a private directory there, and
  // the conversion slots' lock files stay for good.
  bool NothingLeftBehind() const {
    for (const auto& entry : fs::recursive_directory_iterator(temporary())) {
      if (!entry.is_directory() && !entry.path().filename().string().starts_with(kSlotFilePrefix)) {
        return false;
      }
    }
    return true;
  }

  // The server's error log once it holds `text`, or as it is after 5 s.
  std::string LogWith(const std::string& text) const {
    std::string log;
    for (int attempt = 0; attempt < 50; ++attempt) {
      log = server_->ErrorLog();
      if (log.find(text) != std::string::npos) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return log;
  }

  TemporaryDirectory root_;
  FixturePage page_;
  std::unique_ptr<WebServer> server_;
};

TEST_P(WebServerTest, ATiffArrivesAsAnExactGif) {
  const HttpResponse response = server_->Get(Query("page"));
  ASSERT_EQ(response.status_line.substr(9, 3), "200") << response.status_line;
  EXPECT_EQ(response.Header("Content-Type"), "image/gif");
  root_.WriteFile("response.gif", response.body);
  const GifImage gif = DecodeGif(root_.PathOf("response.gif"));
  ASSERT_EQ(gif.width, page_.width);
  ASSERT_EQ(gif.height, page_.height);
  const std::vector<uint32_t> rgba = LibtiffRgba(images() + "/page.tif");
  int differences = 0;
  for (uint32_t y = 0; y < gif.height; ++y) {
    for (uint32_t x = 0; x < gif.width; ++x) {
      differences += gif.ColorAt(x, y)[0] != static_cast<uint8_t>(rgba[y * gif.width + x]);
    }
  }
  EXPECT_EQ(differences, 0);
  EXPECT_TRUE(NothingLeftBehind());
  EXPECT_NE(LogWith("ostrel: message: 0").find("ostrel: message: 0"), std::string::npos);
}

TEST_P(WebServerTest, ARefusedRequestGetsTheErrorPage) {
  const HttpResponse response = server_->Get(Query("..%2Fsecret"));
  ASSERT_EQ(response.status_line.substr(9, 3), "200") << response.status_line;
  EXPECT_EQ(response.Header("Content-Type"), "text/html");
  EXPECT_EQ(response.body.substr(0, 23), "<H1>Internal Error</H1>");
  EXPECT_NE(response.body.find("<H1>Error in " + server_->script_path() + "</H1>"),
            std::string::npos)
      << response.body;
  EXPECT_NE(response.body.find("<PRE>CGI_Main: FN = ../secret, Invalid argument: FN must not "
                               "contain &quot;/&quot; Error Number =  5</PRE>"),
            std::string::npos)
      << response.body;
  EXPECT_TRUE(NothingLeftBehind());
}

TEST_P(WebServerTest, AMissingTiffGetsTheErrorPageAndLeavesNothing) {
  const HttpResponse response = server_->Get(Query("absent"));
  EXPECT_NE(response.body.find("open " + images() + "/absent.tif: No such file or directory"),
            std::string::npos)
      << response.body;
  EXPECT_TRUE(NothingLeftBehind());
}

// Each status of the IIIF service reaches the client as the program set it,
// whether the server takes it from a status line (Apache's nph- script) or a
// Status header, and an identifier's "%2F" arrives undecoded.
TEST_P(WebServerTest, TheIiifServicesStatusesReachTheClient) {
  const std::string service = server_->script_path() + "/iiif/3/docs%2Fthree";
  const HttpResponse info = server_->Get(service + ";2/info.json");
  ASSERT_EQ(info.status_line.substr(9, 3), "200") << info.status_line << info.body;
  EXPECT_EQ(info.Header("Content-Type"), "application/json");
  EXPECT_EQ(info.Header("Access-Control-Allow-Origin"), "*");
  const std::optional<JsonValue> json = ParseJson(info.body);
  ASSERT_TRUE(json.has_value()) << info.body;
  EXPECT_EQ((*json)["id"].string, "http://127.0.0.1" + service + ";2");
  EXPECT_EQ((*json)["width"].number, page_.width);
  EXPECT_EQ((*json)["height"].number, page_.height);
  EXPECT_EQ((*json)["partOf"].items.at(0)["id"].string, "http://127.0.0.1" + service + "/manifest");

  const HttpResponse manifest = server_->Get(service + "/manifest");
  ASSERT_EQ(manifest.status_line.substr(9, 3), "200") << manifest.status_line;
  const std::optional<JsonValue> manifest_json = ParseJson(manifest.body);
  ASSERT_TRUE(manifest_json.has_value()) << manifest.body;
  EXPECT_EQ((*manifest_json)["items"].items.size(), 3u);

  const HttpResponse base = server_->Get(service);
  EXPECT_EQ(base.status_line.substr(9, 3), "303") << base.status_line;
  EXPECT_EQ(base.Header("Location"), "http://127.0.0.1" + service + "/info.json");

  const HttpResponse unknown =
      server_->Get(server_->script_path() + "/iiif/3/docs%2Fnone/info.json");
  EXPECT_EQ(unknown.status_line.substr(9, 3), "404") << unknown.status_line;
  EXPECT_EQ(unknown.body, "no such image\n");
  EXPECT_EQ(unknown.Header("Access-Control-Allow-Origin"), "*");

  const HttpResponse malformed = server_->Get(service + "/full/max/0");
  EXPECT_EQ(malformed.status_line.substr(9, 3), "400") << malformed.status_line;

  // A region at full size is exactly those pixels of the page.
  const HttpResponse image = server_->Get(service + ";2/40,30,100,60/max/0/default.png");
  ASSERT_EQ(image.status_line.substr(9, 3), "200") << image.status_line << image.body;
  EXPECT_EQ(image.Header("Content-Type"), "image/png");
  const Picture region = DecodePng(image.body);
  const Picture page =
      PictureOfRgba(LibtiffRgba(images() + "/docs/three.tif", 2), page_.width, page_.height);
  Picture want{100, 60, {}, 0};
  for (uint32_t y = 30; y < 90; ++y) {
    for (uint32_t x = 40; x < 140; ++x) {
      want.pixels.push_back(page.pixels[y * page_.width + x]);
    }
  }
  EXPECT_EQ(Differences(region, want), 0);

  // A tile reduced into a box is the area average of the page, in the
  // sixteen grays of a reduced bilevel page.
  const HttpResponse reduced = server_->Get(service + ";2/20,10,222,222/!111,111/0/default.png");
  ASSERT_EQ(reduced.status_line.substr(9, 3), "200") << reduced.status_line << reduced.body;
  const Picture tile = DecodePng(reduced.body);
  ASSERT_EQ(tile.width, 111u);
  ASSERT_EQ(tile.height, 111u);
  double worst = 0;
  for (uint32_t y = 0; y < 111; ++y) {
    for (uint32_t x = 0; x < 111; ++x) {
      double sum = 0;
      for (uint32_t dy = 0; dy < 2; ++dy) {
        for (uint32_t dx = 0; dx < 2; ++dx) {
          sum += page.pixels[(10 + 2 * y + dy) * page_.width + 20 + 2 * x + dx][0];
        }
      }
      worst = std::max(worst, std::abs(tile.pixels[y * 111 + x][0] - sum / 4));
    }
  }
  EXPECT_LE(worst, 255.0 / 15 / 2 + 0.5);

  const HttpResponse enlarged = server_->Get(service + "/full/^400,/0/default.png");
  EXPECT_EQ(enlarged.status_line.substr(9, 3), "501") << enlarged.status_line;
  EXPECT_TRUE(NothingLeftBehind());
}

// A copy the client holds is confirmed with 304 at the client, and the
// converter does not run: it would log its result code.
TEST_P(WebServerTest, AHeldCopyIsConfirmedWithoutConverting) {
  for (const std::string& target :
       {server_->script_path() + "/iiif/3/docs%2Fthree;2/0,0,100,100/max/0/default.png",
        server_->script_path() + "/iiif/2/page/info.json", Query("page") + "&Width=100"}) {
    const HttpResponse first = server_->Get(target);
    ASSERT_EQ(first.status_line.substr(9, 3), "200") << target << first.body;
    const std::string etag = first.Header("ETag");
    ASSERT_FALSE(etag.empty()) << target;
    const size_t runs = Occurrences(LogWith("message: 0"), "message: 0");
    const HttpResponse held = server_->Get(target, "If-None-Match: " + etag + "\r\n");
    EXPECT_EQ(held.status_line.substr(9, 3), "304") << target << held.status_line;
    EXPECT_EQ(held.Header("ETag"), etag);
    EXPECT_EQ(held.body, "");
    EXPECT_EQ(Occurrences(server_->ErrorLog(), "message: 0"), runs) << target;
  }
  EXPECT_TRUE(NothingLeftBehind());
}

INSTANTIATE_TEST_SUITE_P(Servers, WebServerTest,
                         ::testing::Values(ServerKind::kLighttpd, ServerKind::kApache,
                                           ServerKind::kNginx),
                         [](const ::testing::TestParamInfo<ServerKind>& server) {
                           return std::string(ServerName(server.param));
                         });

}  // namespace
}  // namespace ostrel::testing
