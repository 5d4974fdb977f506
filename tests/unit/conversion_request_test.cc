#include "conversion/conversion_request.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(ConversionRequestTest, TempFilenameHoldsTheAbsoluteRunNumber) {
  EXPECT_EQ(TempFilename("c:\\temp\\", "scan01", 1234), "c:\\temp\\Gscan01_1234.gif");
  EXPECT_EQ(TempFilename("c:\\temp\\", "scan01", -1234), "c:\\temp\\Gscan01_1234.gif");
  EXPECT_EQ(TempFilename("\\TEMP\\", "", INT32_MAX), "\\TEMP\\G_2147483647.gif");
  EXPECT_EQ(testing::RaisedError([] { TempFilename("\\TEMP\\", "scan01", INT32_MIN); }).number(),
            Error(ErrorKind::kOverflow).number());
}

TEST(ConversionRequestTest, ParametersAreCommaSeparatedItems) {
  EXPECT_EQ(ConversionParameters("d:\\images\\", "scan01", "c:\\temp\\Gscan01_1234.gif", ""),
            "source=d:\\images\\scan01.tif, dest=c:\\temp\\Gscan01_1234.gif");
  EXPECT_EQ(ConversionParameters("\\", "", "\\TEMP\\G_1.gif", "page=2, colors=16"),
            "source=\\.tif, dest=\\TEMP\\G_1.gif, page=2, colors=16");
}

TEST(ConversionRequestTest, TrailingBackslashIsAddedOnlyWhenMissing) {
  EXPECT_EQ(WithTrailingBackslash(""), "\\");
  EXPECT_EQ(WithTrailingBackslash("\\"), "\\");
  EXPECT_EQ(WithTrailingBackslash("d:\\images"), "d:\\images\\");
  EXPECT_EQ(WithTrailingBackslash("d:\\images\\"), "d:\\images\\");
  EXPECT_EQ(WithTrailingBackslash("/tmp/"), "/tmp/\\");
}

TEST(ConversionRequestTest, OrdinaryNamesAndAnyDirectoryPassTheCheck) {
  const struct {
    std::string fn;
    std::string path;
  } cases[] = {
      {"scan01", "d:/images/"},
      {"", ""},
      {"scan 01;a,b", "/srv/scans,x/"},
      {"..", "../../etc/"},
      {"[a]", "d:\\*?\\"},
      {"\xe9t\xe9", "/"},
  };
  for (const auto& c : cases) {
    EXPECT_NO_THROW(CheckRequestParameters(c.fn, c.path)) << c.fn << " " << c.path;
  }
}

}  // namespace
}  // namespace ostrel
