#include "platform/profile.h"

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
  testing::TemporaryDirectory dir;
  for (const auto& c : cases) {
    dir.WriteFile("Varnow.ini", c.contents);
    EXPECT_EQ(
        ReadProfileString(c.section, c.key, "(default)", 2046, dir.WindowsPathOf("Varnow.ini")),
        c.found)
        << c.contents;
  }
}

TEST(ProfileTest, AMissingFileGivesTheDefault) {
  testing::TemporaryDirectory dir;
  EXPECT_EQ(ReadProfileString("Converter", "TempDir", "fallback", 2046, dir.PathOf("none.ini")),
            "fallback");
  EXPECT_EQ(ReadProfileString("Converter", "TempDir", "fallback", 2046, "z:\\no\\Varnow.ini"),
            "fallback");
}

TEST(ProfileTest, ValueAndDefaultAreCutToCapacityLessOne) {
  testing::TemporaryDirectory dir;
  const std::string long_value(3000, 'v');
  dir.WriteFile("Varnow.ini", "[Converter]\nTempDir=" + long_value + "\n");
  const std::string path = dir.PathOf("Varnow.ini");
  EXPECT_EQ(ReadProfileString("Converter", "TempDir", "", 2046, path), long_value.substr(0, 2045));
  EXPECT_EQ(ReadProfileString("Converter", "Missing", "abcdef", 4, path), "abc");
  EXPECT_EQ(ReadProfileString("Converter", "TempDir", "", 1, path), "");
  EXPECT_EQ(ReadProfileString("Converter", "TempDir", "", 0, path), "");
}

TEST(ProfileTest, AFileThatCannotBeReadRaises) {
  testing::TemporaryDirectory dir;
  EXPECT_THROW(ReadProfileString("Converter", "TempDir", "", 2046, dir.path()), Error);
}

}  // namespace
}  // namespace ostrel
