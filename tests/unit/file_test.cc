#include "platform/file.h"

#include <cerrno>
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
  EXPECT_EQ(error.number(), ENOENT);
  EXPECT_EQ(error.description(), "open " + dir.PathOf("gone.gif") + ": No such file or directory");
  EXPECT_FALSE(ReadOnlyFile::OpenIfExists(dir.PathOf("gone.gif")).has_value());
  EXPECT_FALSE(dir.Exists("gone.gif"));
  // A path that cannot be opened for another reason is an error.
  dir.WriteFile("x.gif", "GIF89a");
  EXPECT_THROW(ReadOnlyFile::OpenIfExists(dir.PathOf("x.gif/y")), Error);
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
