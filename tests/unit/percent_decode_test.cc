#include "helpers/percent_decode.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(PercentDecodeTest, DecodesPlusSignsThenEscapesOnce) {
  const struct {
    std::string text;
    std::string decoded;
  } cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"a+b%2Bc", "a b+c"},
      {"%2b", "+"},
      {"++", "  "},
      {"%2541", "%41"},
      {"%252B", "%2B"},
      {"100%4", std::string("100\x04")},
      {"%0", std::string(1, '\0')},
      {"a%00b", std::string("a\0b", 3)},
      {"%ff%FF%fF", "\xff\xff\xff"},
      {"%41%42", "AB"},
      {"scan+01%21", "scan 01!"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PercentDecode(c.text), c.decoded) << c.text;
  }
}

TEST(PercentDecodeTest, AnythingButOneOrTwoHexDigitsIsATypeMismatch) {
  const int32_t type_mismatch = Error(ErrorKind::kTypeMismatch).number();
  for (const char* text : {"%zz", "%", "abc%", "%4 ", "% 4", "%-1", "%+1", "%g0", "%4g", "%%41"}) {
    EXPECT_EQ(testing::RaisedError([&] { PercentDecode(text); }).number(), type_mismatch) << text;
  }
}

}  // namespace
}  // namespace ostrel
