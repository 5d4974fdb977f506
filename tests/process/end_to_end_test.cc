// Requests through the program with the real converter beside it: the
// response body is the requested TIFF as a GIF.
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "tests/support/gif_image.h"
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
  GifImage Request(const std::string& name) {
    const RunResult result = sandbox_.Run(
        {.environment = {{"REQUEST_METHOD", "GET"},
                         {"QUERY_STRING", "FN=" + name + "&Path=" + sandbox_.PathOf("images/")}}});
    EXPECT_EQ(result.output.substr(0, kGifHeader.size()), kGifHeader) << result.output;
    EXPECT_EQ(result.log_lines, std::vector<std::string>{"ostrel: message: 0"});
    EXPECT_TRUE(TemporaryFiles().empty());
    sandbox_.WriteFile("response.gif", result.output.substr(kGifHeader.size()));
    return DecodeGif(sandbox_.PathOf("response.gif"));
  }

  std::string Tiff(const std::string& name) const {
    return sandbox_.PathOf("images/" + name + ".tif");
  }

  std::vector<std::string> TemporaryFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox_.PathOf("tmp"))) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  ProgramSandbox sandbox_{OSTREL_PROGRAM};
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
  EXPECT_EQ(get("Page=2"), kGifHeader + converter.ReadFile("page2.gif"));
  const std::string info = get("Info=1");
  const std::string json_header =
      "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nCache-Control: no-cache\r\n\r\n";
  EXPECT_EQ(info.substr(0, json_header.size()), json_header);
  EXPECT_EQ(info.substr(json_header.size(), 11), "{\"pages\":3,");
  EXPECT_NE(get("Page=4").find("has 3 pages"), std::string::npos);
  EXPECT_TRUE(TemporaryFiles().empty());
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
