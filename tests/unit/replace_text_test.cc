#include "helpers/replace_text.h"

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(ReplaceTextTest, ReplacesEveryOccurrenceWithoutSearchingReplacements) {
  const struct {
    const char* source;
    const char* find;
    const char* replacement;
    bool exact_case;
    const char* result;
  } cases[] = {
      {"d:/images/", "/", "\\", true, "d:\\images\\"},
      {"scan01", "/", "\\", true, "scan01"},
      {"", "/", "\\", true, ""},
      {"anything", "", "x", true, ""},
      {"", "", "", false, ""},
      {"aaa", "a", "aa", true, "aaaaaa"},
      {"aabb", "ab", "", true, "ab"},
      {"ABC", "b", "x", false, "AxC"},
      {"ABC", "b", "x", true, "ABC"},
      {"abAB", "Ab", "-", false, "--"},
      {"\xe9\xc9", "\xe9", "e", false, "e\xc9"},  // only ASCII letters fold
      {"abcabc", "abc", "", true, ""},
      {"xyz", "xyzz", "!", true, "xyz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceText(c.source, c.find, c.replacement, c.exact_case), c.result)
        << c.source << " / " << c.find << " / " << c.replacement;
  }
}

}  // namespace
}  // namespace ostrel
