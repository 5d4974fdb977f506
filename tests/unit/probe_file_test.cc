#include "helpers/probe_file.h"

#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "platform/directory_search.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

TEST(ProbeFileTest, GivesTheNameFoundOrEmptyTextAndNeverRaises) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("Gscan01_42.gif", "GIF89a");
  dir.WriteFile(".hidden", "");
  ASSERT_EQ(mkdir(dir.PathOf("sub").c_str(), 0755), 0);
  EXPECT_EQ(ProbeFile(dir.WindowsPathOf("Gscan01_42.gif")), "Gscan01_42.gif");
  EXPECT_EQ(ProbeFile(dir.WindowsPathOf("G*_42.gif")), "Gscan01_42.gif");
  EXPECT_EQ(ProbeFile(), "");  // the only match has been given
  EXPECT_EQ(ProbeFile(), "");  // a search that has ended raises inside: empty text
  for (const std::string& path :
       {dir.WindowsPathOf("missing.gif"), dir.WindowsPathOf("sub"), dir.WindowsPathOf(".hidden"),
        std::string("q:\\no\\drive.gif"), dir.WindowsPathOf(std::string("Gscan01_42.gif\0", 15))}) {
    EXPECT_EQ(ProbeFile(path), "") << path;
  }
  EXPECT_EQ(ProbeFile(dir.WindowsPathOf("sub"), kAttributeDirectory), "sub");
  EXPECT_EQ(ProbeFile(std::nullopt, kAttributeDirectory), "");
}

}  // namespace
}  // namespace ostrel
