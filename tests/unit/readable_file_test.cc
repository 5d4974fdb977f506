#include "platform/readable_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

using testing::TemporaryDirectory;

TEST(ReadableFileTest, ReadsThePrefixOfARegularFile) {
  TemporaryDirectory directory;
  directory.WriteFile("a.tif", std::string("II*\0rest", 8));
  ReadableFile file(directory.path() + "\\a.tif");
  EXPECT_EQ(file.ReadPrefix(4), std::string("II*\0", 4));
  EXPECT_EQ(file.ReadPrefix(100), std::string("II*\0rest", 8));
  EXPECT_GE(file.descriptor(), 0);
}

TEST(ReadableFileTest, RefusesWhatIsNoRegularFileWithoutWaiting) {
  TemporaryDirectory directory;
  ASSERT_EQ(mkfifo(directory.PathOf("fifo").c_str(), 0600), 0);
  std::filesystem::create_directory(directory.PathOf("dir"));
  const struct {
    std::string name;
    int number;
    std::string description;
  } cases[] = {
      {"missing", ENOENT, "open " + directory.PathOf("missing") + ": No such file or directory"},
      {"dir", EISDIR, "open " + directory.PathOf("dir") + ": Is a directory"},
      {"fifo", EINVAL, "open " + directory.PathOf("fifo") + ": not a regular file"},
  };
  for (const auto& c : cases) {
    try {
      ReadableFile file(directory.PathOf(c.name));
      ADD_FAILURE() << c.name;
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), c.number);
      EXPECT_EQ(error.description(), c.description);
    }
  }
}

}  // namespace
}  // namespace ostrel
