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

TEST(ProfileTest, AMissingFileIsEmptyAndOneThatCannotBeReadRaises) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("Varnow.ini", "[Converter]\nTempDir=x\n");
  EXPECT_EQ(ReadProfileText(dir.PathOf("Varnow.ini")), "[Converter]\nTempDir=x\n");
  EXPECT_EQ(ReadProfileText(dir.PathOf("none.ini")), "");
  EXPECT_EQ(ReadProfileText("z:\\no\\Varnow.ini"), "");
  EXPECT_THROW(ReadProfileText(dir.path()), Error);
}

}  // namespace
}  // namespace ostrel
