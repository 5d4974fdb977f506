#include "platform/allowed_directories.h"

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "conversion/source_check.h"
#include "platform/error.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;
using testing::TemporaryDirectory;

TEST(AllowedDirectoriesTest, TheListIsSplitOnSemicolonsAndTrimmed) {
  const struct {
    const char* value;
    std::vector<std::string> directories;
  } cases[] = {
      {"", {}},
      {" ; ;", {}},
      {"/srv/scans", {"/srv/scans"}},
      {" /srv/scans ;\t/srv/faxes/;", {"/srv/scans", "/srv/faxes/"}},
      {"d:\\images\\;/a b", {"d:\\images\\", "/a b"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AllowedDirectoryList(c.value), c.directories) << c.value;
  }
}

TEST(AllowedDirectoriesTest, InsideMeansBelowAtASeparator) {
  const struct {
    const char* path;
    const char* directory;
    bool inside;
  } cases[] = {
      {"/srv/scans/a.tif", "/srv/scans", true},
      {"/srv/scans/sub/a.tif", "/srv/scans", true},
      {"/srv/scans", "/srv/scans", true},
      {"/srv/scans2/a.tif", "/srv/scans", false},
      {"/srv/scan", "/srv/scans", false},
      {"/srv/a.tif", "/srv/scans", false},
      {"/etc/passwd", "/", true},
      {"", "/srv", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsInsideDirectory(c.path, c.directory), c.inside) << c.path << " in " << c.directory;
  }
}

TEST(AllowedDirectoriesTest, TheSourceIsResolvedBeforeItIsCompared) {
  TemporaryDirectory root;
  for (const char* directory : {"scans", "scans/sub", "scans2", "secret"}) {
    std::filesystem::create_directory(root.PathOf(directory));
  }
  for (const char* file : {"scans/a.tif", "scans/sub/b.tif", "scans2/c.tif", "secret/d.tif"}) {
    root.WriteFile(file, "II*");
  }
  std::filesystem::create_symlink(root.PathOf("secret/d.tif"), root.PathOf("scans/link.tif"));
  std::filesystem::create_directory_symlink(root.PathOf("secret"), root.PathOf("scans/dirlink"));
  std::filesystem::create_directory_symlink(root.PathOf("scans"), root.PathOf("scans-alias"));
  // Paths in the program's form, with backslashes, as CGI_Main has them.
  const std::string scans = root.WindowsPathOf("scans") + "\\";
  std::string allowed = " ";
  allowed.append(root.PathOf("scans-alias")).append(" ; ").append(root.PathOf("missing"));
  const struct {
    std::string path;
    const char* fn;
    bool allowed;
  } cases[] = {
      {scans, "a", true},
      {scans + "sub\\", "b", true},
      {scans + "sub\\..\\", "a", true},
      {root.WindowsPathOf("scans2") + "\\", "c", false},
      {scans + "..\\secret\\", "d", false},
      {scans, "link", false},
      {scans + "dirlink\\", "d", false},
      {root.WindowsPathOf("secret") + "\\", "missing", false},
      {scans, "missing", false},  // nothing to resolve, so nothing to admit
      {scans + "nowhere\\", "a", false},
      {"\\", "etc", false},
  };
  for (const auto& c : cases) {
    const Error error = RaisedError([&] { CheckSourceAllowed(c.path, c.fn, allowed); });
    if (c.allowed) {
      EXPECT_EQ(error.number(), 0) << c.path << c.fn << ": " << error.description();
    } else {
      EXPECT_EQ(error.description(), "Invalid argument: source " + c.path + c.fn +
                                         ".tif is not in an allowed image directory");
    }
  }
}

}  // namespace
}  // namespace ostrel
