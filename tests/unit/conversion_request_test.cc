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

TEST(ConversionRequestTest, ParametersListSourceDestExtraItemsThenViewItems) {
  const struct {
    const char* extra;
    const char* view;
    const char* parameters;
  } cases[] = {
      {"", "", "source=d:\\images\\scan01.tif, dest=c:\\t\\G.gif"},
      {"colors=16", "", "source=d:\\images\\scan01.tif, dest=c:\\t\\G.gif, colors=16"},
      {"", "page=2, width=800",
       "source=d:\\images\\scan01.tif, dest=c:\\t\\G.gif, page=2, width=800"},
      {"colors=16, page=1", "page=3",
       "source=d:\\images\\scan01.tif, dest=c:\\t\\G.gif, colors=16, page=1, page=3"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ConversionParameters("d:\\images\\", "scan01", "c:\\t\\G.gif", c.extra, c.view),
              c.parameters);
  }
  EXPECT_EQ(TempFilename("c:\\t\\", "scan01", 7, ".json"), "c:\\t\\Gscan01_7.json");
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
