#include "platform/profile.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

using std::string_literals::operator""s;

TEST(ProfileTest, FindsTheValueTheClassicWay) {
  const struct {
    std::string contents;
    const char* section;
    const char* key;
    const char* found;
  } cases[] = {
      {"[Converter]\nTempDir=/srv/tmp\n", "Converter", "TempDir", "/srv/tmp"},
      {"[converter]\ntempdir=/srv/tmp\n", "CONVERTER", "TEMPDIR", "/srv/tmp"},
      {"  [ Converter ]  \r\n  TempDir  =  /srv/tmp  \r\n", "Converter", "TempDir", "/srv/tmp"},
      {"[Converter]\nTempDir=\"  quoted  \"\n", "Converter", "TempDir", "  quoted  "},
      {"[Converter]\nTempDir='single'\n", "Converter", "TempDir", "single"},
      {"[Converter]\nTempDir=\"mismatched'\n", "Converter", "TempDir", "\"mismatched'"},
      {"[Converter]\nTempDir=\"\n", "Converter", "TempDir", "\""},
      {"[Converter]\nTempDir=a=b\n", "Converter", "TempDir", "a=b"},
      {"[Converter]\nTempDir=first\nTempDir=second\n", "Converter", "TempDir", "first"},
      {"[Converter]\nOther=x\n[Converter]\nTempDir=second\n", "Converter", "TempDir", "(default)"},
      {"[Converter]\n;TempDir=commented\n  ; TempDir=too\nTempDir=real", "Converter", "TempDir",
       "real"},
      {"TempDir=outside\n[Converter]\n", "Converter", "TempDir", "(default)"},
      {"[Other]\nTempDir=other\n[Converter]\nTempDirX=x\n", "Converter", "TempDir", "(default)"},
      {"[Converter]\nTempDir\nTempDir=after\n", "Converter", "TempDir", "after"},
      {"[Converter]\nTempDir=\n", "Converter", "TempDir", ""},
      {"", "Converter", "TempDir", "(default)"},
      // A value ends at its first NUL, as a zero-terminated buffer holds it.
      {"[Converter]\nTempDir=tmp\0x\n"s, "Converter", "TempDir", "tmp"},
      {"[Converter]\nTempDir=\0x\n"s, "Converter", "TempDir", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProfileString(c.contents, c.section, c.key, "(default)", 2046), c.found)
        << c.contents;
  }
}

TEST(ProfileTest, ValueAndDefaultAreCutToCapacityLessOne) {
  const std::string long_value(3000, 'v');
  const std::string contents = "[Converter]\nTempDir=" + long_value + "\n";
  EXPECT_EQ(ProfileString(contents, "Converter", "TempDir", "", 2046), long_value.substr(0, 2045));
  EXPECT_EQ(ProfileString(contents, "Converter", "TempDir", "", std::string::npos), long_value);
  EXPECT_EQ(ProfileString(contents, "Converter", "Missing", "abcdef", 4), "abc");
  EXPECT_EQ(ProfileString(contents, "Converter", "TempDir", "", 1), "");
  EXPECT_EQ(ProfileString(contents, "Converter", "TempDir", "", 0), "");
}

TEST(ProfileTest, OnlyANameWithNothingAtItIsEmptyAndAnythingElseUnreadableRaises) {
  testing::TemporaryDirectory dir;
  const std::string text = "[Converter]\nTempDir=x\n";
  dir.WriteFile("Varnow.ini", text);
  std::filesystem::create_symlink("Varnow.ini", dir.PathOf("link.ini"));
  std::filesystem::create_symlink("none.ini", dir.PathOf("dangling.ini"));
  std::filesystem::create_symlink("dangling.ini", dir.PathOf("to-dangling.ini"));
  std::filesystem::create_symlink(dir.PathOf("none/Varnow.ini"), dir.PathOf("into-nothing.ini"));
  const struct {
    std::string path;
    const char* text;  // null: raises
  } cases[] = {
      {dir.PathOf("Varnow.ini"), text.c_str()},
      {dir.PathOf("link.ini"), text.c_str()},
      {dir.PathOf("none.ini"), ""},
      {"z:\\no\\Varnow.ini", ""},
      // A link whose target has gone would drop an allow-list as silently as
      // a file that cannot be read.
      {dir.PathOf("dangling.ini"), nullptr},
      {dir.PathOf("to-dangling.ini"), nullptr},
      {dir.PathOf("into-nothing.ini"), nullptr},
      {dir.path(), nullptr},
  };
  for (const auto& c : cases) {
    if (c.text != nullptr) {
      EXPECT_EQ(ReadProfileText(c.path), c.text) << c.path;
    } else {
      EXPECT_THROW(ReadProfileText(c.path), Error) << c.path;
    }
  }
}

}  // namespace
}  // namespace ostrel
