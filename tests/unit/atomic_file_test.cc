#include "platform/atomic_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include <gtest/gtest.h>

#include "platform/directory_search.h"
#include "platform/error.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

using testing::TemporaryDirectory;

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

TEST(AtomicFileTest, TheFileAppearsOnlyWhenCommittedReadableByItsOwnerAlone) {
  TemporaryDirectory directory;
  directory.WriteFile("out.gif", "old");
  const mode_t saved = umask(022);
  {
    AtomicFile file(directory.PathOf("out.gif"));
    file.Write("new ");
    file.Write(std::string(100000, 'x'));
    // The temporary file is a dot-file beside the destination.
    ASSERT_EQ(directory.List().size(), 2u);
    EXPECT_EQ(directory.List()[0].rfind(".out.gif.", 0), 0u);
    EXPECT_EQ(ModeOf(file.temporary_path()), 0600u);
    // The pattern that finds leftovers finds it, in either path form.
    for (const std::string& path :
         {directory.PathOf("out.gif"), directory.WindowsPathOf("out.gif")}) {
      EXPECT_EQ(FindFirstMatch(AtomicFileTemporaryPattern(path), kAttributeHidden),
                directory.List()[0]);
    }
    EXPECT_EQ(directory.ReadFile("out.gif"), "old");
    file.Commit();
  }
  umask(saved);
  EXPECT_EQ(directory.List(), std::vector<std::string>{"out.gif"});
  EXPECT_EQ(directory.ReadFile("out.gif"), "new " + std::string(100000, 'x'));
  EXPECT_EQ(ModeOf(directory.PathOf("out.gif")), 0600u);
}

TEST(AtomicFileTest, WithoutCommitNothingIsLeftNotEvenAnOlderFile) {
  TemporaryDirectory directory;
  directory.WriteFile("out.gif", "old");
  {
    // Backslashes count as slashes.
    AtomicFile file(directory.path() + "\\out.gif");
    file.Write("partial");
  }
  EXPECT_TRUE(directory.List().empty());
}

TEST(AtomicFileTest, FailuresNameTheCallAndLeaveNothing) {
  TemporaryDirectory directory;
  try {
    AtomicFile file(directory.PathOf("missing/out.gif"));
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), ENOENT);
    EXPECT_EQ(error.description().rfind("create " + directory.PathOf("missing/.out.gif."), 0), 0u)
        << error.description();
  }
  std::filesystem::create_directory(directory.PathOf("out.gif"));
  std::optional<AtomicFile> file(std::in_place, directory.PathOf("out.gif"));
  EXPECT_THROW(file->Commit(), Error);  // a directory is in the way
  file.reset();
  EXPECT_EQ(directory.List(), std::vector<std::string>{"out.gif"});
}

}  // namespace
}  // namespace ostrel
