// The converter component as the program runs it: argv, exit status, one
// line on standard error, "0" on standard output.
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "tests/support/gif_image.h"
#include "tests/support/picture.h"
#include "tests/support/process_harness.h"
#include "tests/support/tiff_fixtures.h"

namespace ostrel::testing {
namespace {

std::string WindowsStyle(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

class ConverterTest : public ::testing::Test {
 protected:
  RunResult Convert(const std::string& parameters) {
    return sandbox_.Run({.arguments = {"ConvertImage", parameters}});
  }
  std::string In() const { return sandbox_.PathOf("in.tif"); }
  std::string Out() const { return sandbox_.PathOf("out.gif"); }

  ProgramSandbox sandbox_{OSTREL_CONVERTER};
};

TEST_F(ConverterTest, WritesTheImagePrintsZeroAndOnlyItsOwnerMayReadIt) {
  const std::vector<uint16_t> values = PatternSamples(1728 * 40, 2, 1);
  WriteTiff(In(), {FixturePage{.width = 1728,
                               .height = 40,
                               .bits_per_sample = 1,
                               .photometric = PHOTOMETRIC_MINISWHITE,
                               .compression = COMPRESSION_CCITTFAX4,
                               .samples = PackSamples(values, 1, 1728)}});
  Picture want{1728, 40, {}, 0};
  for (const uint16_t value : values) {
    want.pixels.push_back(value == 0 ? Rgba8{255, 255, 255, 255} : Rgba8{0, 0, 0, 255});
  }
  // Whatever the file's name says, the format item chooses.
  for (const std::string format : {"", ", format=png", ", Format=JPG, jpegquality=100"}) {
    SCOPED_TRACE(format);
    const mode_t saved = umask(027);
    const RunResult result = Convert("source=" + WindowsStyle(In()) +
                                     ", dest=" + WindowsStyle(Out()) + ", colors=2" + format);
    umask(saved);
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.output, "0\n");
    EXPECT_TRUE(result.log_lines.empty());
    EXPECT_EQ(sandbox_.List(), (std::vector<std::string>{"Caskle.ClsCaskle", "in.tif", "out.gif"}));
    struct stat status {};
    ASSERT_EQ(stat(Out().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    const std::string bytes = sandbox_.ReadFile("out.gif");
    if (format.empty()) {
      EXPECT_EQ(Differences(PictureOfGif(DecodeGifBytes(bytes)), want), 0);
    } else if (format == ", format=png") {
      EXPECT_EQ(Differences(DecodePng(bytes), want), 0);
      EXPECT_EQ(ReadPngForm(bytes).bit_depth, 1);
    } else {
      const Picture jpeg = DecodeJpegPicture(bytes);
      EXPECT_EQ(jpeg.components, 1);
      EXPECT_GE(PsnrOverWhite(jpeg, want), 40);
    }
  }
}

TEST_F(ConverterTest, FailuresExitWithTheirKindAndOneLineNamingTheFile) {
  sandbox_.WriteFile("text.tif", "plain text");
  WriteTiff(In(), {FixturePage{.width = 2, .height = 2, .samples = {1, 2, 3, 4}}});
  ASSERT_EQ(mkfifo(sandbox_.PathOf("fifo.tif").c_str(), 0600), 0);
  const std::string dest = ", dest=" + Out();
  const struct {
    std::vector<std::string> arguments;
    int status;
    std::string line;
  } cases[] = {
      {{},
       2,
       "no method given: usage is Caskle.ClsCaskle ConvertImage|DescribeImage \"source=FILE, "
       "dest=FILE[, more items]\""},
      {{"convertimage", "source=a, dest=b"},
       2,
       "unknown method \"convertimage\": only ConvertImage or DescribeImage"},
      {{"DescribeImage", "source=a, dest=b", "x"}, 2, "DescribeImage takes one argument, not 2"},
      {{"DescribeImage", "source=" + In() + dest + ", width=0"},
       3,
       "bad value for width: \"0\" (a whole number from 1 to 65535)"},
      {{"DescribeImage", "source=" + sandbox_.PathOf("text.tif") + dest},
       21,
       "not a TIFF file: " + sandbox_.PathOf("text.tif")},
      {{"ConvertImage"}, 2, "ConvertImage takes one argument, not 0"},
      {{"ConvertImage", "source=a, dest=b", "x"}, 2, "ConvertImage takes one argument, not 2"},
      {{"ConvertImage", "source=a,dest=b"}, 3, "missing parameter: dest"},
      {{"ConvertImage", "source=" + In() + dest + ", dither=1"},
       3,
       "bad value for dither: \"1\" (on or off)"},
      {{"ConvertImage", "source=" + In() + dest + ", format=webp"},
       3,
       "bad value for format: \"webp\" (gif, png or jpg)"},
      {{"ConvertImage", "source=" + In() + dest + ", format=jpg, jpegquality=0"},
       3,
       "bad value for jpegquality: \"0\" (a whole number from 1 to 100)"},
      {{"ConvertImage", "source=" + sandbox_.PathOf("a\nb.tif") + dest},
       20,
       "open " + sandbox_.PathOf("a\\nb.tif") + ": No such file or directory"},
      {{"ConvertImage", "source=" + sandbox_.PathOf("fifo.tif") + dest},
       20,
       "open " + sandbox_.PathOf("fifo.tif") + ": not a regular file"},
      {{"ConvertImage", "source=" + sandbox_.PathOf("text.tif") + dest},
       21,
       "not a TIFF file: " + sandbox_.PathOf("text.tif")},
      {{"ConvertImage", "source=" + In() + dest + ", page=2"},
       24,
       "page 2 does not exist: " + In() + " has 1 page"},
      {{"ConvertImage", "source=" + In() + dest + ", page=1, page=2"},
       24,
       "page 2 does not exist: " + In() + " has 1 page"},
      {{"ConvertImage", "source=" + In() + dest + ", maxpixels=3"},
       25,
       "image too large: 2 x 2 pixels in " + In() + ", the limit is 3"},
  };
  const std::vector<std::string> files = sandbox_.List();
  for (const auto& c : cases) {
    const RunResult result = sandbox_.Run({.arguments = c.arguments});
    EXPECT_EQ(result.exit_status, c.status) << c.line;
    EXPECT_EQ(result.log_lines, std::vector<std::string>{c.line});
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(sandbox_.List(), files) << c.line;
  }
  const RunResult result = Convert("source=" + In() + ", dest=" + sandbox_.PathOf("no/out.gif"));
  EXPECT_EQ(result.exit_status, 30);
  ASSERT_EQ(result.log_lines.size(), 1u);
  EXPECT_EQ(result.log_lines[0].rfind("create " + sandbox_.PathOf("no/.out.gif."), 0), 0u);
}

TEST_F(ConverterTest, DescribeImageWritesEachPagesSizeAndKindAsJson) {
  // A fax at 204 x 98 pixels a centimetre, a gray page turned by its tag
  // without a resolution, a palette page at a resolution that is not whole.
  const std::vector<uint16_t> fax = PatternSamples(1728 * 1123, 2, 1);
  FixturePage gray{.width = 30, .height = 20, .orientation = 6};
  gray.samples.assign(30 * 20, 128);
  FixturePage palette{.width = 16,
                      .height = 4,
                      .bits_per_sample = 4,
                      .photometric = PHOTOMETRIC_PALETTE,
                      .x_resolution = 72.5,
                      .y_resolution = 72.5};
  palette.samples.assign(8 * 4, 0x12);
  palette.colormap.assign(3 * 16, 0);
  WriteTiff(In(), {FixturePage{.width = 1728,
                               .height = 1123,
                               .bits_per_sample = 1,
                               .photometric = PHOTOMETRIC_MINISWHITE,
                               .compression = COMPRESSION_CCITTFAX4,
                               .x_resolution = 204,
                               .y_resolution = 98,
                               .samples = PackSamples(fax, 1, 1728)},
                   gray, palette});
  SetTagValue(In(), TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);  // the first page's
  const std::string json = sandbox_.PathOf("in.json");
  const RunResult result = sandbox_.Run(
      {.arguments = {"DescribeImage", "source=" + In() + ", dest=" + json + ", page=9, width=4"}});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.output, "0\n");
  EXPECT_TRUE(result.log_lines.empty());
  EXPECT_EQ(sandbox_.ReadFile("in.json"),
            "{\"pages\":3,\"page\":["
            "{\"width\":1728,\"height\":1123,\"x_resolution\":204,\"y_resolution\":98,"
            "\"resolution_unit\":\"centimetre\",\"kind\":\"bilevel\",\"view_width\":830,"
            "\"view_height\":1123,\"orientation\":1},"
            "{\"width\":30,\"height\":20,\"x_resolution\":null,\"y_resolution\":null,"
            "\"resolution_unit\":null,\"kind\":\"gray\",\"view_width\":20,\"view_height\":30,"
            "\"orientation\":6},"
            "{\"width\":16,\"height\":4,\"x_resolution\":72.5,\"y_resolution\":72.5,"
            "\"resolution_unit\":\"inch\",\"kind\":\"palette\",\"view_width\":16,"
            "\"view_height\":4,\"orientation\":1}]}");
  // The GIF of the fax has the size the description gives.
  ASSERT_EQ(Convert("source=" + In() + ", dest=" + Out()).exit_status, 0);
  const GifImage gif = DecodeGif(Out());
  EXPECT_EQ(gif.width, 830u);
  EXPECT_EQ(gif.height, 1123u);
  EXPECT_EQ(gif.palette.size(), 16u);
}

}  // namespace
}  // namespace ostrel::testing
