#include "platform/directory_search.h"

#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

class DirectorySearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"scan01.gif", "a1.gif", "b[2].gif", ".hidden.gif"}) {
      dir_.WriteFile(name, "GIF89a");
    }
    ASSERT_EQ(mkdir(dir_.PathOf("dir.gif").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(dir_.PathOf("pipe.gif").c_str(), 0644), 0);
    ASSERT_EQ(symlink("scan01.gif", dir_.PathOf("link.gif").c_str()), 0);
    ASSERT_EQ(symlink("missing.gif", dir_.PathOf("dangling.gif").c_str()), 0);
  }
  std::string Pattern(const std::string& name) const { return dir_.WindowsPathOf(name); }

  testing::TemporaryDirectory dir_;
};

TEST_F(DirectorySearchTest, ByDefaultOnlyVisibleRegularFilesMatch) {
  const struct {
    const char* name_pattern;
    const char* found;
  } cases[] = {
      {"scan01.gif", "scan01.gif"},
      {"scan0?.gif", "scan01.gif"},
      {"s*1.gif", "scan01.gif"},
      {"SCAN01.GIF", ""},
      {"scan01.gi", ""},
      {"missing.gif", ""},
      {"dir.gif", ""},
      {".hidden.gif", ""},
      {"pipe.gif", ""},
      {"link.gif", "link.gif"},
      {"dangling.gif", ""},
      {"b[2].gif", "b[2].gif"},  // brackets match themselves...
      {"a[1].gif", ""},          // ...and are no character set
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindFirstMatch(Pattern(c.name_pattern), 0), c.found) << c.name_pattern;
  }
}

TEST_F(DirectorySearchTest, AMissingDirectoryIsNoMatch) {
  for (const std::string& pattern : {Pattern("nowhere\\x.gif"), Pattern("scan01.gif\\x.gif"),
                                     std::string("z:\\images\\scan01.gif")}) {
    EXPECT_EQ(FindFirstMatch(pattern, 0), "") << pattern;
  }
}

TEST_F(DirectorySearchTest, AttributeBitsAdmitMoreKindsOfEntry) {
  EXPECT_EQ(FindFirstMatch(Pattern("dir.gif"), kAttributeDirectory), "dir.gif");
  EXPECT_EQ(FindFirstMatch(Pattern(".hidden.gif"), kAttributeHidden), ".hidden.gif");
  EXPECT_EQ(FindFirstMatch(Pattern("pipe.gif"), kAttributeSystem), "pipe.gif");
  EXPECT_EQ(FindFirstMatch(Pattern("dir.gif"), kAttributeHidden | kAttributeSystem), "");
}

TEST_F(DirectorySearchTest, ContinuationListsEachMatchOnceThenEnds) {
  std::set<std::string> found;
  found.insert(FindFirstMatch(Pattern("*.gif"), 0));
  for (std::string name; !(name = FindNextMatch()).empty();) {
    EXPECT_TRUE(found.insert(name).second) << name;
  }
  EXPECT_EQ(found, (std::set<std::string>{"a1.gif", "b[2].gif", "link.gif", "scan01.gif"}));
  EXPECT_THROW(FindNextMatch(), Error);
}

TEST_F(DirectorySearchTest, ANulBytePatternRaisesInsteadOfBeingCutShort) {
  EXPECT_THROW(FindFirstMatch(Pattern(std::string("scan01.gif\0x", 12)), 0), Error);
}

}  // namespace
}  // namespace ostrel
