#include "iiif/image_identifier.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;

constexpr int32_t kBadRequestNumber = 10400;
constexpr int32_t kNotFoundNumber = 10404;

TEST(ImageIdentifierTest, ADigitSuffixAfterTheLastSemicolonNamesThePage) {
  const struct {
    const char* identifier;
    const char* name;
    int32_t page;
    bool page_given;
  } cases[] = {
      {"a", "a", 1, false},       {"a;1", "a", 1, true},
      {"a;2", "a", 2, true},      {"a;1000000", "a", 1000000, true},
      {"a;", "a;", 1, false},     {"a;b", "a;b", 1, false},
      {"a;2b", "a;2b", 1, false}, {"a;+2", "a;+2", 1, false},
      {"a;b;3", "a;b", 3, true},  {"scans/letter.tif;2", "scans/letter.tif", 2, true},
  };
  for (const auto& c : cases) {
    const ImageIdentifier parsed = ParseImageIdentifier(c.identifier);
    EXPECT_EQ(parsed.name, c.name) << c.identifier;
    EXPECT_EQ(parsed.page, c.page) << c.identifier;
    EXPECT_EQ(parsed.page_given, c.page_given) << c.identifier;
  }
}

TEST(ImageIdentifierTest, PageZeroALeadingZeroOrAPageNoFileHasAreRefused) {
  const struct {
    const char* identifier;
    int32_t number;
  } cases[] = {
      {"a;0", kBadRequestNumber},
      {"a;01", kBadRequestNumber},
      {"a;0000001", kBadRequestNumber},
      {"a;1000001", kNotFoundNumber},
      {"a;99999999999999999999999", kNotFoundNumber},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RaisedError([&] { ParseImageIdentifier(c.identifier); }).number(), c.number)
        << c.identifier;
  }
}

class ResolveImageFileTest : public ::testing::Test {
 protected:
  ResolveImageFileTest() {
    for (const char* directory : {"root/sub", "root2", "outside", "root-other"}) {
      std::filesystem::create_directories(dir_.PathOf(directory));
    }
    for (const char* name :
         {"root/a.tif", "root/b.tiff", "root/c.tif", "root/c.tiff", "root/sub/d.tif",
          "root/x;y.tif", "root/UP.TIF", "root2/e.tif", "outside/secret.tif", "root-other/f.tif"}) {
      dir_.WriteFile(name, "II*\0");
    }
    Link("../outside/secret.tif", "root/out.tif");
    Link("sub/d.tif", "root/in.tif");
    Link("../outside", "root/away");
    roots_ = dir_.PathOf("root") + "; " + dir_.PathOf("root2");
  }

  void Link(const std::string& target, const std::string& name) const {
    if (symlink(target.c_str(), dir_.PathOf(name).c_str()) != 0) {
      throw std::runtime_error("cannot link " + name);
    }
  }

  testing::TemporaryDirectory dir_;
  std::string roots_;
};

TEST_F(ResolveImageFileTest, ANameIsFoundWithOrWithoutItsExtensionInEachRootInTurn) {
  const struct {
    const char* name;
    const char* file;
  } cases[] = {
      {"a", "root/a.tif"},         {"a.tif", "root/a.tif"},  {"b", "root/b.tiff"},
      {"b.tiff", "root/b.tiff"},   {"c", "root/c.tif"},      {"c.tiff", "root/c.tiff"},
      {"sub/d", "root/sub/d.tif"}, {"x;y", "root/x;y.tif"},  {"UP.TIF", "root/UP.TIF"},
      {"e", "root2/e.tif"},        {"in", "root/sub/d.tif"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ResolveImageFile(c.name, roots_), dir_.PathOf(c.file)) << c.name;
  }
}

TEST_F(ResolveImageFileTest, ANameOutsideTheRootsOrOfNoFileIsUnknown) {
  for (const std::string& name : std::vector<std::string>{std::string(),
                                                          "/" + dir_.PathOf("root/a"),
                                                          dir_.PathOf("root/a.tif"),
                                                          "../outside/secret",
                                                          "../root/a",
                                                          "sub/../a",
                                                          "./a",
                                                          "sub/./d",
                                                          "sub//d",
                                                          "sub/",
                                                          "out",
                                                          "away/secret",
                                                          "missing",
                                                          "a.tif.tif",
                                                          "UP",
                                                          "sub\\d",
                                                          "a\\",
                                                          std::string("a\0", 2),
                                                          std::string("a\0.tif", 6),
                                                          "a, b",
                                                          "sub",
                                                          "../root-other/f",
                                                          "f"}) {
    const Error error = RaisedError([&] { ResolveImageFile(name, roots_); });
    EXPECT_EQ(error.number(), kNotFoundNumber) << name;
    EXPECT_EQ(error.description(), "no such image") << name;
  }
}

TEST_F(ResolveImageFileTest, WithoutRootsNothingIsFound) {
  for (const std::string& roots : std::vector<std::string>{"", " ; "}) {
    EXPECT_EQ(RaisedError([&] { ResolveImageFile("a", roots); }).number(), kNotFoundNumber);
  }
  EXPECT_EQ(RaisedError([&] { ResolveImageFile("a", dir_.PathOf("missing")); }).number(),
            kNotFoundNumber);
}

TEST(ImageIdentifierTest, AnEncodedIdentifierKeepsOnlyUnreservedBytes) {
  const struct {
    const char* name;
    int32_t page;
    const char* encoded;
  } cases[] = {
      {"", 0, ""},           {"A-z_0.~", 0, "A-z_0.~"},     {"a/b c", 0, "a%2Fb%20c"},
      {"x;y", 2, "x%3By;2"}, {"%+?#", 1, "%25%2B%3F%23;1"}, {"\xc3\xa9\xff", 0, "%C3%A9%FF"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodedIdentifier(c.name, c.page), c.encoded) << c.name;
  }
}

}  // namespace
}  // namespace ostrel
