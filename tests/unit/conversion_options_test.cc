#include "converter/conversion_options.h"

#include <string>

#include <gtest/gtest.h>

#include "converter/conversion_failure.h"

namespace ostrel {
namespace {

TEST(ConversionOptionsTest, ReadsEveryItemIgnoringKeyCase) {
  const ConversionOptions p = ParseConversionOptions(
      "source=d:\\images\\scan01.tif, dest=\\tmp\\Gscan01_1234.gif, PAGE=3, Colors=16, "
      "dither=OFF, maxPixels=1000, WIDTH=640, height=480, rotate=270, aspect=None, grays=4, "
      "Format=JPG, JpegQuality=40");
  EXPECT_EQ(p.source, "d:/images/scan01.tif");
  EXPECT_EQ(p.dest, "/tmp/Gscan01_1234.gif");
  EXPECT_EQ(p.page, 3u);
  EXPECT_EQ(p.colors, 16);
  EXPECT_FALSE(p.dither);
  EXPECT_EQ(p.max_pixels, 1000u);
  EXPECT_EQ(p.box_width, 640u);
  EXPECT_EQ(p.box_height, 480u);
  EXPECT_EQ(p.rotate, 270);
  EXPECT_FALSE(p.square_pixels);
  EXPECT_EQ(p.grays, 4);
  EXPECT_EQ(p.format, OutputFormat::kJpeg);
  EXPECT_EQ(p.jpeg_quality, 40);

  const ConversionOptions defaults = ParseConversionOptions("dest=b=c, source=a");
  EXPECT_EQ(defaults.source, "a");
  EXPECT_EQ(defaults.dest, "b=c");
  EXPECT_EQ(defaults.page, 1u);
  EXPECT_EQ(defaults.colors, 256);
  EXPECT_TRUE(defaults.dither);
  EXPECT_EQ(defaults.max_pixels, 268435456u);
  EXPECT_EQ(defaults.box_width, 0u);
  EXPECT_EQ(defaults.box_height, 0u);
  EXPECT_EQ(defaults.rotate, 0);
  EXPECT_TRUE(defaults.square_pixels);
  EXPECT_EQ(defaults.grays, 16);
  EXPECT_EQ(defaults.format, OutputFormat::kGif);
  EXPECT_EQ(defaults.jpeg_quality, 85);
}

TEST(ConversionOptionsTest, TheLastOfARepeatedViewItemCounts) {
  const ConversionOptions p = ParseConversionOptions(
      "source=a, dest=b, page=2, width=100, height=50, rotate=90, aspect=none, page=3, "
      "width=200, Height=60, ROTATE=0, aspect=auto, format=jpg, format=png");
  EXPECT_EQ(p.page, 3u);
  EXPECT_EQ(p.box_width, 200u);
  EXPECT_EQ(p.box_height, 60u);
  EXPECT_EQ(p.rotate, 0);
  EXPECT_TRUE(p.square_pixels);
  EXPECT_EQ(p.format, OutputFormat::kPng);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, format=png, format=gif").format,
            OutputFormat::kGif);

  const ConversionOptions region = ParseConversionOptions(
      "source=a, dest=b, region=1,2,3,4, size=3,4, mirror=on, quality=gray, aspect=stretch, "
      "Region=5,6,7,8, SIZE=1,2, mirror=OFF, quality=Bitonal, aspect=auto");
  EXPECT_EQ(region.region, (PixelRect{5, 6, 7, 8}));
  EXPECT_EQ(region.size, (ImageSize{1, 2}));
  EXPECT_FALSE(region.mirror);
  EXPECT_EQ(region.quality, Quality::kBitonal);
  EXPECT_TRUE(region.square_pixels);
  EXPECT_FALSE(region.stretch_pixels);
}

TEST(ConversionOptionsTest, ReadsTheRegionItems) {
  const ConversionOptions p = ParseConversionOptions(
      "source=a, dest=b, region=0,2147483647,2147483647,1, size=65535,1, mirror=on, "
      "quality=color, aspect=Stretch");
  EXPECT_EQ(p.region, (PixelRect{0, 2147483647, 2147483647, 1}));
  EXPECT_EQ(p.size, (ImageSize{65535, 1}));
  EXPECT_TRUE(p.mirror);
  EXPECT_EQ(p.quality, Quality::kColor);
  EXPECT_TRUE(p.square_pixels);
  EXPECT_TRUE(p.stretch_pixels);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, quality=GRAY").quality, Quality::kGray);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, aspect=stretch, aspect=none").stretch_pixels,
            false);

  const ConversionOptions defaults = ParseConversionOptions("source=a, dest=b");
  EXPECT_FALSE(defaults.region);
  EXPECT_FALSE(defaults.size);
  EXPECT_FALSE(defaults.mirror);
  EXPECT_EQ(defaults.quality, Quality::kColor);
  EXPECT_FALSE(defaults.stretch_pixels);
}

TEST(ConversionOptionsTest, AcceptsTheBoundsOfEachNumber) {
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, colors=2").colors, 2);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, colors=0256").colors, 256);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, page=2147483647").page, 2147483647u);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, maxpixels=4294836225").max_pixels,
            4294836225u);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, width=1").box_width, 1u);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, height=65535").box_height, 65535u);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, rotate=180").rotate, 180);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, grays=2").grays, 2);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, grays=256").grays, 256);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, jpegquality=1").jpeg_quality, 1);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, jpegquality=100").jpeg_quality, 100);
}

TEST(ConversionOptionsTest, NamesWhatIsWrong) {
  const struct {
    const char* text;
    const char* description;
  } cases[] = {
      {"", "parameter item without \"=\": \"\""},
      {"source=a, dest=b, ", "parameter item without \"=\": \"\""},
      {"source=a,dest=b", "missing parameter: dest"},
      {"dest=b", "missing parameter: source"},
      {"source=a, dest=b, pages", "parameter item without \"=\": \"pages\""},
      {"source=a, dest=b, scale=2", "unknown parameter: \"scale\""},
      {"source=a, dest=b, =2", "unknown parameter: \"\""},
      {"source=a, dest=b, Source=c", "repeated parameter: source"},
      {"source=a, dest=b, colors=4, colors=4", "repeated parameter: colors"},
      {"source=a, dest=b, grays=4, Grays=8", "repeated parameter: grays"},
      {"source=a, dest=b, dest=c", "repeated parameter: dest"},
      {"source=d:\\a.tif, dest=d:/a.tif", "source and dest are the same file: d:/a.tif"},
      {"source=, dest=b", "bad value for source: \"\" (a file path)"},
      {"source=a, dest=\\tmp\\", "bad value for dest: \"\\tmp\\\" (a file path, not a directory)"},
      {"source=a, dest=b, page=0",
       "bad value for page: \"0\" (a whole number from 1 to 2147483647)"},
      {"source=a, dest=b, page=2147483648",
       "bad value for page: \"2147483648\" (a whole number from 1 to 2147483647)"},
      {"source=a, dest=b, page=+1",
       "bad value for page: \"+1\" (a whole number from 1 to 2147483647)"},
      {"source=a, dest=b, colors=1", "bad value for colors: \"1\" (a whole number from 2 to 256)"},
      {"source=a, dest=b, colors=257",
       "bad value for colors: \"257\" (a whole number from 2 to 256)"},
      {"source=a, dest=b, colors= 16",
       "bad value for colors: \" 16\" (a whole number from 2 to 256)"},
      {"source=a, dest=b, colors=99999999999999999999999",
       "bad value for colors: \"99999999999999999999999\" (a whole number from 2 to 256)"},
      {"source=a, dest=b, dither=yes", "bad value for dither: \"yes\" (on or off)"},
      {"source=a, dest=b, width=0", "bad value for width: \"0\" (a whole number from 1 to 65535)"},
      {"source=a, dest=b, height=65536",
       "bad value for height: \"65536\" (a whole number from 1 to 65535)"},
      {"source=a, dest=b, width=", "bad value for width: \"\" (a whole number from 1 to 65535)"},
      {"source=a, dest=b, rotate=45", "bad value for rotate: \"45\" (0, 90, 180 or 270)"},
      {"source=a, dest=b, rotate=360", "bad value for rotate: \"360\" (0, 90, 180 or 270)"},
      {"source=a, dest=b, rotate=-90", "bad value for rotate: \"-90\" (0, 90, 180 or 270)"},
      {"source=a, dest=b, aspect=square",
       "bad value for aspect: \"square\" (auto, none or stretch)"},
      {"source=a, dest=b, region=1,2,3",
       "bad value for region: \"1,2,3\" (x,y,w,h: whole numbers, w and h from 1)"},
      {"source=a, dest=b, region=1,2,3,4,5",
       "bad value for region: \"1,2,3,4,5\" (x,y,w,h: whole numbers, w and h from 1)"},
      {"source=a, dest=b, region=0,0,0,4",
       "bad value for region: \"0,0,0,4\" (x,y,w,h: whole numbers, w and h from 1)"},
      {"source=a, dest=b, region=0,0,4,0",
       "bad value for region: \"0,0,4,0\" (x,y,w,h: whole numbers, w and h from 1)"},
      {"source=a, dest=b, region=0,,4,4",
       "bad value for region: \"0,,4,4\" (x,y,w,h: whole numbers, w and h from 1)"},
      {"source=a, dest=b, region=2147483648,0,1,1",
       "bad value for region: \"2147483648,0,1,1\" (x,y,w,h: whole numbers, w and h from 1)"},
      {"source=a, dest=b, size=2",
       "bad value for size: \"2\" (w,h: whole numbers from 1 to 65535)"},
      {"source=a, dest=b, size=0,2",
       "bad value for size: \"0,2\" (w,h: whole numbers from 1 to 65535)"},
      {"source=a, dest=b, size=2,65536",
       "bad value for size: \"2,65536\" (w,h: whole numbers from 1 to 65535)"},
      {"source=a, dest=b, size=2,2,",
       "bad value for size: \"2,2,\" (w,h: whole numbers from 1 to 65535)"},
      {"source=a, dest=b, size=2,2, width=4", "size given with width or height"},
      {"source=a, dest=b, height=4, size=2,2", "size given with width or height"},
      {"source=a, dest=b, mirror=yes", "bad value for mirror: \"yes\" (on or off)"},
      {"source=a, dest=b, quality=grey",
       "bad value for quality: \"grey\" (color, gray or bitonal)"},
      {"source=a, dest=b, quality=default",
       "bad value for quality: \"default\" (color, gray or bitonal)"},
      {"source=a, dest=b, grays=1", "bad value for grays: \"1\" (a whole number from 2 to 256)"},
      {"source=a, dest=b, grays=257",
       "bad value for grays: \"257\" (a whole number from 2 to 256)"},
      {"source=a, dest=b, maxpixels=0",
       "bad value for maxpixels: \"0\" (a whole number from 1 to 4294836225)"},
      {"source=a, dest=b, format=jpeg", "bad value for format: \"jpeg\" (gif, png or jpg)"},
      {"source=a, dest=b, format=", "bad value for format: \"\" (gif, png or jpg)"},
      {"source=a, dest=b, format=png ", "bad value for format: \"png \" (gif, png or jpg)"},
      {"source=a, dest=b, jpegquality=0",
       "bad value for jpegquality: \"0\" (a whole number from 1 to 100)"},
      {"source=a, dest=b, jpegquality=101",
       "bad value for jpegquality: \"101\" (a whole number from 1 to 100)"},
      {"source=a, dest=b, jpegquality=50, jpegquality=60", "repeated parameter: jpegquality"},
  };
  for (const auto& c : cases) {
    try {
      ParseConversionOptions(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const Error& error) {
      EXPECT_EQ(error.description(), c.description) << c.text;
      EXPECT_EQ(error.code(), static_cast<int32_t>(ConversionFailure::kBadParameter)) << c.text;
    }
  }
}

}  // namespace
}  // namespace ostrel
