#include "iiif/page_description.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;

std::string FaxPage() {
  return "{\"width\":1728,\"height\":1123,\"x_resolution\":204,\"y_resolution\":98,"
         "\"resolution_unit\":\"inch\",\"kind\":\"bilevel\",\"view_width\":830,"
         "\"view_height\":1123,\"orientation\":1}";
}

TEST(PageDescriptionTest, ReadsTheCountAndEachListedPage) {
  const FileDescription description = ReadFileDescription(
      "{\"pages\":1200,\"page\":[" + FaxPage() +
      ",{\"width\":30,\"height\":20,\"x_resolution\":null,\"y_resolution\":71.5,"
      "\"resolution_unit\":null,\"kind\":\"gray\",\"view_width\":20,\"view_height\":30,"
      "\"orientation\":6},"
      "{\"width\":4294967295,\"height\":1,\"x_resolution\":1,\"y_resolution\":1,"
      "\"resolution_unit\":\"none\",\"kind\":\"color\",\"orientation\":8},"
      "{\"width\":1,\"height\":1,\"x_resolution\":1,\"y_resolution\":1,"
      "\"resolution_unit\":\"centimetre\",\"kind\":\"palette\",\"orientation\":1}]}");
  EXPECT_EQ(description.page_count, 1200);
  ASSERT_EQ(description.pages.size(), 4u);
  const PageDescription& fax = description.pages[0];
  EXPECT_EQ(fax.width, 1728);
  EXPECT_EQ(fax.height, 1123);
  EXPECT_EQ(fax.x_resolution, 204);
  EXPECT_EQ(fax.y_resolution, 98);
  EXPECT_TRUE(fax.physical_unit);
  EXPECT_EQ(fax.kind, PageContent::kBilevel);
  EXPECT_EQ(fax.orientation, 1);
  const PageDescription& gray = description.pages[1];
  EXPECT_EQ(gray.x_resolution, 0);
  EXPECT_EQ(gray.y_resolution, 71.5);
  EXPECT_FALSE(gray.physical_unit);
  EXPECT_EQ(gray.kind, PageContent::kGray);
  EXPECT_EQ(gray.orientation, 6);
  EXPECT_EQ(description.pages[2].width, 4294967295);
  EXPECT_FALSE(description.pages[2].physical_unit);
  EXPECT_EQ(description.pages[2].orientation, 8);
  EXPECT_TRUE(description.pages[3].physical_unit);
  EXPECT_EQ(description.pages[3].kind, PageContent::kPalette);
}

TEST(PageDescriptionTest, AFieldMissingOrOutOfRangeIsRefused) {
  const std::string ok = "{\"pages\":1,\"page\":[" + FaxPage() + "]}";
  EXPECT_NO_THROW(ReadFileDescription(ok));
  const std::string cases[] = {
      "[]",
      "{\"page\":[]}",
      "{\"pages\":1}",
      "{\"pages\":-1,\"page\":[]}",
      "{\"pages\":1.5,\"page\":[]}",
      "{\"pages\":\"1\",\"page\":[]}",
      "{\"pages\":0,\"page\":[" + FaxPage() + "]}",
      "{\"pages\":1,\"page\":[1]}",
      "{\"pages\":1,\"page\":[{\"width\":1}]}",
  };
  for (const std::string& text : cases) {
    EXPECT_TRUE(RaisedError([&] { ReadFileDescription(text); }).Is(ErrorKind::kInvalidArgument))
        << text;
  }
  const struct {
    const char* field;
    const char* bad;
  } fields[] = {
      {"\"width\":1728", "\"width\":0"},
      {"\"height\":1123", "\"height\":4294967296"},
      {"\"height\":1123", "\"height\":1.5"},
      {"\"x_resolution\":204", "\"x_resolution\":-1"},
      {"\"x_resolution\":204", "\"x_resolution\":\"204\""},
      {"\"kind\":\"bilevel\"", "\"kind\":\"cmyk\""},
      {"\"orientation\":1", "\"orientation\":0"},
      {"\"orientation\":1", "\"orientation\":9"},
      {"\"orientation\":1", "\"orientation\":null"},
      {",\"orientation\":1", ""},
  };
  for (const auto& f : fields) {
    std::string page = FaxPage();
    page.replace(page.find(f.field), std::string(f.field).size(), f.bad);
    EXPECT_TRUE(RaisedError([&] {
                  ReadFileDescription("{\"pages\":1,\"page\":[" + page + "]}");
                }).Is(ErrorKind::kInvalidArgument))
        << page;
  }
  EXPECT_TRUE(
      RaisedError([&] { ReadFileDescription("{\"pages\":1,"); }).Is(ErrorKind::kTypeMismatch));
}

}  // namespace
}  // namespace ostrel
