#include "shell/helpers/read_ini_value.h"

#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/error.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

TEST(ReadIniValueTest, ANameWithoutBackslashIsFoundBesideTheExecutable) {
  // A name of its own, so that test processes running side by side do not meet.
  const std::string name = "read-ini-value-" + std::to_string(getpid()) + ".ini";
  const std::string beside = ExecutableDirectory() + "/" + name;
  {
    testing::TemporaryDirectory dir;
    dir.WriteFile(name, "[Converter]\nTempDir=beside\n");
    ASSERT_EQ(rename(dir.PathOf(name).c_str(), beside.c_str()), 0);
  }
  EXPECT_EQ(ReadIniValue(name, "Converter", "TempDir", ""), "beside");
  EXPECT_EQ(unlink(beside.c_str()), 0);
  EXPECT_EQ(ReadIniValue(name, "Converter", "TempDir", "default"), "default");
}

TEST(ReadIniValueTest, ANameWithABackslashIsUsedAsItStands) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("x.ini", "[Converter]\nTempDir=here\n");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string relative = ReadIniValue(".\\x.ini", "Converter", "TempDir", "");
  std::filesystem::current_path(previous);
  EXPECT_EQ(relative, "here");
  EXPECT_EQ(ReadIniValue(dir.WindowsPathOf("x.ini"), "Converter", "TempDir", ""), "here");
}

TEST(ReadIniValueTest, MissesGiveTheDefaultAndFailuresRaise) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("x.ini", "[Converter]\nLong=" + std::string(3000, 'v') + "\n");
  const std::string path = dir.WindowsPathOf("x.ini");
  EXPECT_EQ(ReadIniValue(path, "Converter", "Long", ""), std::string(2045, 'v'));
  EXPECT_EQ(ReadIniValue(path, "Converter", "Missing", ""), "");
  EXPECT_EQ(ReadIniValue(path, "Converter", "Missing", "dflt"), "dflt");
  EXPECT_EQ(ReadIniValue(dir.WindowsPathOf("none.ini"), "Converter", "Long", "dflt"), "dflt");
  // Only a missing file means no configuration: one that cannot be read
  // would silently drop its settings.
  EXPECT_THROW(ReadIniValue(dir.WindowsPathOf(""), "Converter", "Long", "dflt"), Error);
  EXPECT_EQ(ReadWholeIniValue(path, "Converter", "Long", ""), std::string(3000, 'v'));
}

}  // namespace
}  // namespace ostrel
