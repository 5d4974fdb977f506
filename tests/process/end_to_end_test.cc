// Requests through the program with the real converter beside it: the
// response body is the requested TIFF as a GIF (or a PNG or JPEG).
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "platform/slot_lock.h"
#include "tests/support/gif_image.h"
#include "tests/support/picture.h"
#include "tests/support/process_harness.h"
#include "tests/support/tiff_fixtures.h"

namespace ostrel::testing {
namespace {

const std::string kGifHeader = "HTTP/1.0 200 OK\r\nContent-Type:image/gif\r\n\r\n";

FixturePage ScannedPage() {
  return FixturePage{.width = 413,
                     .height = 584,
                     .bits_per_sample = 1,
                     .photometric = PHOTOMETRIC_MINISWHITE,
                     .compression = COMPRESSION_CCITTFAX4,
                     .rows_per_strip = 64,
                     .samples = PackSamples(PatternSamples(413 * 584, 2, 4), 1, 413)};
}

FixturePage GrayPage() {
  return FixturePage{.width = 300,
                     .height = 420,
                     .compression = COMPRESSION_LZW,
                     .samples = PackSamples(PatternSamples(300 * 420, 249, 5), 8, 300)};
}

FixturePage ColorPhoto() {
  return FixturePage{.width = 480,
                     .height = 320,
                     .samples_per_pixel = 3,
                     .photometric = PHOTOMETRIC_RGB,
                     .compression = COMPRESSION_ADOBE_DEFLATE,
                     .samples = PhotoSamples(480, 320)};
}

class EndToEndTest : public ::testing::Test {
 protected:
  EndToEndTest() {
    sandbox_.InstallExecutable(OSTREL_CONVERTER, "Caskle.ClsCaskle");
    if (mkdir(sandbox_.PathOf("tmp").c_str(), 0755) != 0 ||
        mkdir(sandbox_.PathOf("images").c_str(), 0755) != 0) {
      throw std::runtime_error("cannot make the sandbox's directories");
    }
    sandbox_.WriteFile("Varnow.ini", "[Converter]\nTempDir=" + sandbox_.PathOf("tmp") + "/\n");
  }

  // Requests images/<name>.tif and returns the response body as a GIF,
  // after checking the header and that the temporary file is gone.
  // The log holds only the result code unless `log_lines` says otherwise;
  // an empty `log_lines` leaves the log to the caller, in last_log_.
  GifImage Request(const std::string& name,
                   const std::vector<std::string>& log_lines = {"ostrel: message: 0"}) {
    const RunResult result = sandbox_.Run(
        {.environment = {{"REQUEST_METHOD", "GET"},
                         {"QUERY_STRING", "FN=" + name + "&Path=" + sandbox_.PathOf("images/")}}});
    EXPECT_EQ(result.output.substr(0, kGifHeader.size()), kGifHeader) << result.output;
    last_log_ = result.log_lines;
    if (!log_lines.empty()) {
      EXPECT_EQ(result.log_lines, log_lines);
    }
    EXPECT_TRUE(TemporaryFiles().empty());
    sandbox_.WriteFile("response.gif", result.output.substr(kGifHeader.size()));
    return DecodeGif(sandbox_.PathOf("response.gif"));
  }

  std::string Tiff(const std::string& name) const {
    return sandbox_.PathOf("images/" + name + ".tif");
  }

  // The conversion slots' lock files, which stay for good, aside.
  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox_.PathOf("tmp"))) {
      if (!entry.path().filename().string().starts_with(kSlotFilePrefix)) {
        names.push_back(entry.path().filename().string());
      }
    }
    return names;
  }

  ProgramSandbox sandbox_{OSTREL_PROGRAM};
  std::vector<std::string> last_log_;
};

// The pixels whose colour differs from libtiff's rendering of the TIFF.
int Differences(const GifImage& gif, const std::vector<uint32_t>& rgba) {
  int differences = 0;
  for (uint32_t y = 0; y < gif.height; ++y) {
    for (uint32_t x = 0; x < gif.width; ++x) {
      const uint32_t pixel = rgba[y * gif.width + x];
      const GifColor expected = {static_cast<uint8_t>(pixel), static_cast<uint8_t>(pixel >> 8),
                                 static_cast<uint8_t>(pixel >> 16)};
      differences += gif.ColorAt(x, y) != expected ? 1 : 0;
    }
  }
  return differences;
}

TEST_F(EndToEndTest, ScannedAndGrayPagesArriveAsExactGifs) {
  for (const auto& [name, page] : {std::pair{"scan01", ScannedPage()}, {"gray", GrayPage()}}) {
    WriteTiff(Tiff(name), {page});
    const GifImage gif = Request(name);
    ASSERT_EQ(gif.width, page.width) << name;
    ASSERT_EQ(gif.height, page.height) << name;
    EXPECT_EQ(Differences(gif, LibtiffRgba(Tiff(name))), 0) << name;
  }
}

TEST_F(EndToEndTest, AColorPhotoArrivesCloseToItsSource) {
  const FixturePage photo = ColorPhoto();
  WriteTiff(Tiff("photo"), {photo});
  const GifImage gif = Request("photo");
  ASSERT_EQ(gif.width, photo.width);
  ASSERT_EQ(gif.height, photo.height);
  // Dithering trades some PSNR on this noisy pattern for smooth gradients.
  EXPECT_GT(Psnr(gif, LibtiffRgba(Tiff("photo"))), 30.0);
}

// Kinds a user meets beyond 8 bits and the usual schemes: each arrives as a
// GIF of its size whose every pixel follows the documented rule (or, for a
// fax with damaged lines, every line but those), the damaged lines counted
// in the log; a strip cut short is refused.
TEST_F(EndToEndTest, DeepSamplesOldSchemesAndDamagedFaxesArriveAsGifs) {
  constexpr uint32_t kWidth = 120;
  constexpr uint32_t kHeight = 50;
  const std::vector<uint16_t> levels = PatternSamples(kWidth * kHeight, 256, 11);
  using Rule = int (*)(double value);
  const struct Case {
    const char* name;
    int bits;
    uint16_t format;
    double (*value)(uint16_t level);
    Rule rule;  // the stored value's 8-bit gray
    uint16_t compression;
  } cases[] = {
      {"gray12", 12, SAMPLEFORMAT_UINT, [](uint16_t k) { return k * 16.0 + k % 16; },
       [](double v) { return int(std::lround(v * 255 / 4095)); }, COMPRESSION_LZW},
      {"gray16", 16, SAMPLEFORMAT_UINT, [](uint16_t k) { return k * 257.0 - k % 100; },
       [](double v) { return int(std::lround(v * 255 / 65535)); }, COMPRESSION_ADOBE_DEFLATE},
      {"gray32", 32, SAMPLEFORMAT_UINT, [](uint16_t k) { return k * 16843009.0 - k % 7; },
       [](double v) { return int(std::lround(v * 255 / 4294967295.0)); }, COMPRESSION_NONE},
      {"float32", 32, SAMPLEFORMAT_IEEEFP, [](uint16_t k) { return k / 255.0; },
       [](double v) { return int(std::lround(v * 255)); }, COMPRESSION_LZW},
      // Levels 0 to 255 all occur: the page's own range is -12800 to 12700.
      {"signed16", 16, SAMPLEFORMAT_INT, [](uint16_t k) { return k * 100.0 - 12800; },
       [](double v) { return int(std::lround((v + 12800) * 255 / 25500)); }, COMPRESSION_NONE},
  };
  ASSERT_EQ(*std::min_element(levels.begin(), levels.end()), 0);
  ASSERT_EQ(*std::max_element(levels.begin(), levels.end()), 255);
  const auto expect_gray = [&](const std::string& name, const std::vector<int>& want,
                               const std::vector<std::string>& log_lines) {
    const GifImage gif = Request(name, log_lines);
    ASSERT_EQ(gif.width, kWidth) << name;
    ASSERT_EQ(gif.height, kHeight) << name;
    int differences = 0;
    for (uint32_t i = 0; i < kWidth * kHeight; ++i) {
      const uint8_t level = static_cast<uint8_t>(want[i]);
      differences +=
          want[i] >= 0 && gif.ColorAt(i % kWidth, i / kWidth) != GifColor{level, level, level};
    }
    EXPECT_EQ(differences, 0) << name;
  };
  const std::vector<std::string> result_only = {"ostrel: message: 0"};
  for (const Case& c : cases) {
    std::vector<double> values;
    std::vector<int> want;
    for (const uint16_t level : levels) {
      values.push_back(c.value(level));
      want.push_back(c.rule(values.back()));
    }
    WriteTiff(Tiff(c.name), {{.width = kWidth,
                              .height = kHeight,
                              .bits_per_sample = static_cast<uint16_t>(c.bits),
                              .compression = c.compression,
                              .rows_per_strip = 16,
                              .sample_format = c.format,
                              .samples = EncodeSamples(values, c.bits, c.format, kWidth)}});
    expect_gray(c.name, want, result_only);
  }

  FixturePage gray{.width = kWidth, .height = kHeight, .rows_per_strip = 40, .old_style = true};
  for (const uint16_t level : levels) {
    gray.samples.push_back(static_cast<uint8_t>(level));
  }
  FixturePage lzw = gray;
  lzw.compression = COMPRESSION_LZW;
  WriteTiff(Tiff("oldlzw"), {lzw});
  expect_gray("oldlzw", std::vector<int>(levels.begin(), levels.end()), result_only);
  FixturePage jpeg = gray;
  jpeg.compression = COMPRESSION_OJPEG;
  jpeg.rows_per_strip = 0;
  for (uint32_t i = 0; i < kWidth * kHeight; ++i) {  // smooth, as photographs are
    jpeg.samples[i] = static_cast<uint8_t>(i % kWidth + i / kWidth + levels[i] % 8);
  }
  WriteTiff(Tiff("oldjpeg"), {jpeg});
  const std::vector<uint8_t> decoded = DecodeJpeg(GrayJpeg(kWidth, kHeight, jpeg.samples));
  expect_gray("oldjpeg", std::vector<int>(decoded.begin(), decoded.end()), result_only);

  // A G3 fax with two flipped bytes: those lines (a flip may also decode to
  // valid codes unseen) are left out of the comparison.
  FixturePage fax{.width = kWidth,
                  .height = kHeight,
                  .bits_per_sample = 1,
                  .compression = COMPRESSION_CCITTFAX3,
                  .samples = PackSamples(PatternSamples(kWidth * kHeight, 2, 3), 1, kWidth)};
  WriteTiff(Tiff("fax"), {fax});
  const uint32_t start = TagValue(Tiff("fax"), TIFFTAG_STRIPOFFSETS);
  const uint32_t size = TagValue(Tiff("fax"), TIFFTAG_STRIPBYTECOUNTS);
  std::string bytes = sandbox_.ReadFile("images/fax.tif");
  for (const uint32_t at : {size / 3, size * 2 / 3}) {
    bytes[start + at] = static_cast<char>(~bytes[start + at]);
  }
  sandbox_.WriteFile("images/fax.tif", bytes);
  const std::vector<uint16_t> bits = PatternSamples(kWidth * kHeight, 2, 3);
  const GifImage fax_gif = Request("fax", {});
  ASSERT_EQ(fax_gif.width, kWidth);
  ASSERT_EQ(fax_gif.height, kHeight);
  uint32_t damaged_rows = 0;
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      if (fax_gif.ColorAt(x, y)[0] != bits[y * kWidth + x] * 255) {
        ++damaged_rows;
        break;
      }
    }
  }
  EXPECT_LE(damaged_rows, 4u);
  ASSERT_EQ(last_log_.size(), 2u);
  EXPECT_TRUE(last_log_[0].starts_with("ostrel: message: ")) << last_log_[0];
  EXPECT_TRUE(last_log_[0].ends_with("fax.tif filled in")) << last_log_[0];
  const int counted = std::stoi(last_log_[0].substr(std::string("ostrel: message: ").size()));
  EXPECT_GE(counted, 1);
  EXPECT_LE(static_cast<uint32_t>(counted), damaged_rows);
  EXPECT_EQ(last_log_[1], "ostrel: message: 0");

  // A strip shorter than it claims.
  lzw.rows_per_strip = 0;
  WriteTiff(Tiff("cut"), {lzw});
  SetTagValue(Tiff("cut"), TIFFTAG_STRIPBYTECOUNTS, 20);
  const RunResult result = sandbox_.Run(
      {.environment = {{"QUERY_STRING", "FN=cut&Path=" + sandbox_.PathOf("images/")}}});
  EXPECT_NE(result.output.find("cannot read the pixels of"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("Error Number =  122</PRE>"), std::string::npos) << result.output;
}

TEST_F(EndToEndTest, APageOfAFileAndItsDescriptionComeFromTheConverterUnchanged) {
  std::vector<FixturePage> pages(3, ScannedPage());
  for (uint32_t page = 0; page < 3; ++page) {
    pages[page].samples = PackSamples(PatternSamples(413 * 584, 2, 10 + page), 1, 413);
  }
  WriteTiff(Tiff("three"), pages);
  const ProgramSandbox converter(OSTREL_CONVERTER);
  converter.Run({.arguments = {"ConvertImage", "source=" + Tiff("three") + ", dest=" +
                                                   converter.PathOf("page2.gif") + ", page=2"}});
  const auto get = [&](const std::string& view) {
    return sandbox_
        .Run({.environment = {{"QUERY_STRING",
                               "FN=three&Path=" + sandbox_.PathOf("images/") + "&" + view}}})
        .output;
  };
  // With view parameters the picture and the description carry validators.
  const std::string page = get("Page=2");
  EXPECT_EQ(page, "HTTP/1.0 200 OK\r\nContent-Type:image/gif\r\n" +
                      ValidatorLines(page, Tiff("three"), "public, max-age=86400") + "\r\n" +
                      converter.ReadFile("page2.gif"));
  const std::string info = get("Info=1");
  const std::string json_header = "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\n" +
                                  ValidatorLines(info, Tiff("three"), "public, max-age=3600") +
                                  "\r\n";
  EXPECT_EQ(info.substr(0, json_header.size()), json_header);
  EXPECT_EQ(info.substr(json_header.size(), 11), "{\"pages\":3,");
  EXPECT_NE(get("Page=4").find("has 3 pages"), std::string::npos);
  EXPECT_TRUE(TemporaryFiles().empty());
}

// A request with view parameters carries validators, and one the client
// holds is confirmed without converting; a plain request ignores them and
// keeps its bytes.
TEST_F(EndToEndTest, AHeldViewIsConfirmedWithoutConvertingAndAPlainRequestKeepsItsBytes) {
  WriteTiff(Tiff("scan01"), {ScannedPage()});
  const auto get = [&](const std::string& view, const std::string& if_none_match,
                       const std::string& script = "/cgi-bin/ostrel") {
    return sandbox_.Run(
        {.environment = {{"REQUEST_METHOD", "GET"},
                         {"SCRIPT_NAME", script},
                         {"HTTP_IF_NONE_MATCH", if_none_match},
                         {"QUERY_STRING", "FN=scan01&Path=" + sandbox_.PathOf("images/") + view}}});
  };
  const RunResult first = get("&Width=100", "");
  const std::string etag = HeaderValue(first.output, "ETag");
  const std::string validators =
      ValidatorLines(first.output, Tiff("scan01"), "public, max-age=86400");
  for (const auto& [script, status] :
       {std::pair{"/cgi-bin/ostrel", "Status: 304 Not Modified\r\n"},
        std::pair{"/cgi-bin/nph-ostrel", "HTTP/1.0 304 Not Modified\r\n"}}) {
    const RunResult held = get("&Width=100", etag, script);
    EXPECT_EQ(held.output, status + validators + "\r\n");
    EXPECT_TRUE(held.log_lines.empty());
  }
  EXPECT_NE(HeaderValue(get("&Width=101", "").output, "ETag"), etag);
  const RunResult plain = get("", "*");
  EXPECT_EQ(plain.output.substr(0, kGifHeader.size()), kGifHeader);
  EXPECT_EQ(plain.log_lines, std::vector<std::string>{"ostrel: message: 0"});
  EXPECT_TRUE(TemporaryFiles().empty());
}

// Format chooses the image: the content type names it, written as the
// GIF's is, the body decodes to the page (a PNG to its exact pixels), the
// temporary file is gone. A named GIF is the picture without Format, and
// any other value is refused before the converter runs.
TEST_F(EndToEndTest, FormatGivesAPngOrAJpegUnderItsContentType) {
  WriteTiff(Tiff("scan01"), {ScannedPage()});
  const Picture page = PictureOfRgba(LibtiffRgba(Tiff("scan01")), 413, 584);
  const auto get = [&](const std::string& view) {
    const RunResult result = sandbox_.Run(
        {.environment = {{"REQUEST_METHOD", "GET"},
                         {"QUERY_STRING", "FN=scan01&Path=" + sandbox_.PathOf("images/") + view}}});
    EXPECT_TRUE(TemporaryFiles().empty()) << view;
    return result;
  };
  const RunResult png = get("&Format=png");
  const std::string png_header =
      "HTTP/1.0 200 OK\r\nContent-Type:image/png\r\n" +
      ValidatorLines(png.output, Tiff("scan01"), "public, max-age=86400") + "\r\n";
  ASSERT_EQ(png.output.substr(0, png_header.size()), png_header) << png.output.substr(0, 200);
  EXPECT_EQ(png.log_lines, std::vector<std::string>{"ostrel: message: 0"});
  const std::string png_body = png.output.substr(png_header.size());
  EXPECT_EQ(Differences(DecodePng(png_body), page), 0);
  EXPECT_EQ(ReadPngForm(png_body).bit_depth, 1);

  const RunResult jpeg = get("&Width=200&Format=JPEG");
  const std::string jpeg_header =
      "HTTP/1.0 200 OK\r\nContent-Type:image/jpeg\r\n" +
      ValidatorLines(jpeg.output, Tiff("scan01"), "public, max-age=86400") + "\r\n";
  ASSERT_EQ(jpeg.output.substr(0, jpeg_header.size()), jpeg_header) << jpeg.output.substr(0, 200);
  const Picture reduced = DecodeJpegPicture(jpeg.output.substr(jpeg_header.size()));
  EXPECT_EQ(reduced.width, 200u);
  EXPECT_EQ(reduced.components, 1);

  const std::string named_gif = get("&Format=gif").output;
  EXPECT_EQ(named_gif.substr(named_gif.find("\r\n\r\n")),
            get("").output.substr(kGifHeader.size() - 4));
  EXPECT_EQ(get("&Info=1&Format=png").output, get("&Info=1").output);
  EXPECT_EQ(get("").output.substr(0, kGifHeader.size()), kGifHeader);
  const RunResult refused = get("&Format=tiff");
  EXPECT_NE(refused.output.find("<PRE>CGI_Main: FN = scan01, Invalid argument: Format must be "
                                "gif, png, jpg or jpeg Error Number =  5</PRE>"),
            std::string::npos)
      << refused.output;
  EXPECT_TRUE(refused.log_lines.empty());
}

TEST_F(EndToEndTest, AMissingTiffIsReportedOnTheErrorPage) {
  const RunResult result = sandbox_.Run(
      {.environment = {{"QUERY_STRING", "FN=absent&Path=" + sandbox_.PathOf("images/")}}});
  EXPECT_NE(result.output.find("<PRE>CGI_Main: FN = absent, open " + Tiff("absent") +
                               ": No such file or directory Error Number =  120</PRE>"),
            std::string::npos)
      << result.output;
  EXPECT_TRUE(TemporaryFiles().empty());
}

}  // namespace
}  // namespace ostrel::testing
