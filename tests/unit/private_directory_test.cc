#include "platform/private_directory.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;
using testing::TemporaryDirectory;

std::string Target(const std::string& path) {
  std::error_code error;
  return std::filesystem::read_symlink(path.substr(0, path.size() - 1), error).string();
}

TEST(PrivateDirectoryTest, ThePathLeadsToTheCheckedDirectoryWhateverBecomesOfItsName) {
  TemporaryDirectory sandbox;
  std::filesystem::create_directory(sandbox.PathOf("tmp"));
  std::filesystem::create_directory(sandbox.PathOf("other"));
  const PrivateDirectory directory(sandbox.WindowsPathOf("tmp") + "\\");
  EXPECT_EQ(Target(directory.path()), sandbox.PathOf("tmp"));
  // Another user who may write the parent swaps the name for a link.
  std::filesystem::rename(sandbox.PathOf("tmp"), sandbox.PathOf("aside"));
  std::filesystem::create_directory_symlink(sandbox.PathOf("other"), sandbox.PathOf("tmp"));
  std::ofstream(directory.path() + "written") << "x";
  EXPECT_TRUE(sandbox.Exists("aside/written"));
  EXPECT_TRUE(std::filesystem::is_empty(sandbox.PathOf("other")));
}

TEST(PrivateDirectoryTest, ALinkOrAnythingButADirectoryAtTheNameIsRefused) {
  TemporaryDirectory sandbox;
  std::filesystem::create_directory(sandbox.PathOf("real"));
  std::filesystem::create_directory_symlink(sandbox.PathOf("real"), sandbox.PathOf("link"));
  sandbox.WriteFile("file", "x");
  const struct {
    std::string directory;
    int32_t number;
  } cases[] = {
      // A trailing separator would have the kernel follow the link.
      {sandbox.PathOf("link"), 1040},
      {sandbox.PathOf("link") + "/", 1040},
      {sandbox.WindowsPathOf("link") + "\\\\", 1040},
      {sandbox.PathOf("file") + "/", 1020},
      {sandbox.PathOf("missing") + "/", 1002},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RaisedError([&] { const PrivateDirectory directory(c.directory); }).number(),
              c.number)
        << c.directory;
  }
  EXPECT_EQ(Target(PrivateDirectory(sandbox.PathOf("real") + "//").path()), sandbox.PathOf("real"));
}

TEST(PrivateDirectoryTest, AFreshSubdirectoryTakesThePlaceOfAPlantedOneAndGoesWithTheObject) {
  TemporaryDirectory sandbox;
  const std::string shared = sandbox.PathOf("shared");
  ASSERT_EQ(mkdir(shared.c_str(), 01777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  const std::string own = shared + "/ostrel-" + std::to_string(geteuid());
  ASSERT_EQ(symlink(sandbox.path().c_str(), own.c_str()), 0);
  std::string fresh;
  {
    const PrivateDirectory directory(shared + "/");
    fresh = Target(directory.path());
    EXPECT_EQ(fresh.rfind(own + ".", 0), 0u) << fresh;
    struct stat status {};
    ASSERT_EQ(lstat(fresh.c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0700u);
  }
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(fresh)));
  EXPECT_TRUE(std::filesystem::is_symlink(own));
}

}  // namespace
}  // namespace ostrel
