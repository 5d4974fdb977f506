#include "platform/file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(ReadOnlyFileTest, ReadsWithBackslashPathsAndStopsAtTheEnd) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("x.gif", std::string("GIF\0\xff", 5));
  ReadOnlyFile file(dir.WindowsPathOf("x.gif"));
  EXPECT_EQ(file.Length(), 5);
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, 3), 3u);
  EXPECT_EQ(std::string(buffer, 3), "GIF");
  EXPECT_EQ(file.Read(buffer, 8), 2u);
  EXPECT_EQ(std::string(buffer, 2), std::string("\0\xff", 2));
  EXPECT_EQ(file.Read(buffer, 8), 0u);
}

TEST(ReadOnlyFileTest, AMissingFileRaisesAndIsNotCreated) {
  testing::TemporaryDirectory dir;
  const Error error = testing::RaisedError([&] { ReadOnlyFile file(dir.PathOf("gone.gif")); });
  EXPECT_EQ(error.code(), ENOENT);
  EXPECT_EQ(error.description(), "open " + dir.PathOf("gone.gif") + ": No such file or directory");
  EXPECT_FALSE(ReadOnlyFile::OpenIfExists(dir.PathOf("gone.gif")).has_value());
  EXPECT_FALSE(dir.Exists("gone.gif"));
  // A path that cannot be opened for another reason is an error.
  dir.WriteFile("x.gif", "GIF89a");
  EXPECT_THROW(ReadOnlyFile::OpenIfExists(dir.PathOf("x.gif/y")), Error);
}

TEST(ReadOnlyFileTest, ReadsAPrefixWithoutMovingAndHandsTheDescriptorOver) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("a.tif", std::string("II*\0rest", 8));
  ReadOnlyFile file(dir.PathOf("a.tif"));
  EXPECT_EQ(file.ReadPrefix(4), std::string("II*\0", 4));
  EXPECT_EQ(file.ReadPrefix(100), std::string("II*\0rest", 8));
  EXPECT_EQ(file.ReadToEnd(), std::string("II*\0rest", 8));
  const int descriptor = file.Release();
  EXPECT_GE(descriptor, 0);
  EXPECT_EQ(file.descriptor(), -1);
  close(descriptor);
}

TEST(ReadOnlyFileTest, RefusesWhatIsNoRegularFileWithoutWaiting) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("x.gif", "GIF89a");
  ASSERT_EQ(mkfifo(dir.PathOf("fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.PathOf("dir"));
  std::filesystem::create_symlink(dir.PathOf("x.gif"), dir.PathOf("link"));
  const struct {
    std::string name;
    SymbolicLinks links;
    int number;
    std::string description;
  } cases[] = {
      {"dir", SymbolicLinks::kFollow, EISDIR, "open " + dir.PathOf("dir") + ": Is a directory"},
      {"fifo", SymbolicLinks::kFollow, EINVAL,
       "open " + dir.PathOf("fifo") + ": not a regular file"},
      {"link", SymbolicLinks::kRefuse, ELOOP,
       "open " + dir.PathOf("link") + ": a symbolic link, refused"},
  };
  for (const auto& c : cases) {
    const Error error =
        testing::RaisedError([&] { ReadOnlyFile file(dir.PathOf(c.name), c.links); });
    EXPECT_EQ(error.code(), c.number) << c.name;
    EXPECT_EQ(error.description(), c.description);
  }
  EXPECT_EQ(ReadOnlyFile(dir.PathOf("link")).ReadToEnd(), "GIF89a");
}

TEST(DeleteFileTest, RemovesTheFileAndRaisesWhenItIsMissing) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("x.gif", "GIF89a");
  DeleteFile(dir.WindowsPathOf("x.gif"));
  EXPECT_FALSE(dir.Exists("x.gif"));
  EXPECT_THROW(DeleteFile(dir.PathOf("x.gif")), Error);
}

}  // namespace
}  // namespace ostrel
