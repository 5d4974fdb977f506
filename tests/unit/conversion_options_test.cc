#include "converter/conversion_options.h"

#include <string>

#include <gtest/gtest.h>

#include "converter/conversion_failure.h"

namespace ostrel {
namespace {

TEST(ConversionOptionsTest, ReadsEveryItemIgnoringKeyCase) {
  const ConversionOptions p = ParseConversionOptions(
      "source=d:\\images\\scan01.tif, dest=\\tmp\\Gscan01_1234.gif, PAGE=3, Colors=16, "
      "dither=OFF, maxPixels=1000");
  EXPECT_EQ(p.source, "d:/images/scan01.tif");
  EXPECT_EQ(p.dest, "/tmp/Gscan01_1234.gif");
  EXPECT_EQ(p.page, 3u);
  EXPECT_EQ(p.colors, 16);
  EXPECT_FALSE(p.dither);
  EXPECT_EQ(p.max_pixels, 1000u);

  const ConversionOptions defaults = ParseConversionOptions("dest=b=c, source=a");
  EXPECT_EQ(defaults.source, "a");
  EXPECT_EQ(defaults.dest, "b=c");
  EXPECT_EQ(defaults.page, 1u);
  EXPECT_EQ(defaults.colors, 256);
  EXPECT_TRUE(defaults.dither);
  EXPECT_EQ(defaults.max_pixels, 268435456u);
}

TEST(ConversionOptionsTest, AcceptsTheBoundsOfEachNumber) {
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, colors=2").colors, 2);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, colors=0256").colors, 256);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, page=2147483647").page, 2147483647u);
  EXPECT_EQ(ParseConversionOptions("source=a, dest=b, maxpixels=4294836225").max_pixels,
            4294836225u);
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
      {"source=a, dest=b, size=2", "unknown parameter: \"size\""},
      {"source=a, dest=b, =2", "unknown parameter: \"\""},
      {"source=a, dest=b, Source=c", "repeated parameter: source"},
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
      {"source=a, dest=b, maxpixels=0",
       "bad value for maxpixels: \"0\" (a whole number from 1 to 4294836225)"},
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
