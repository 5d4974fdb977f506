#include "helpers/json_writer.h"

#include <string>

#include <gtest/gtest.h>

#include "tests/support/json_value.h"

namespace ostrel {
namespace {

TEST(JsonWriterTest, EscapesStringsAndReplacesBytesThatAreNotUtf8) {
  const struct {
    std::string text;
    std::string json;
  } cases[] = {
      {"", R"("")"},
      {std::string(1, '\0'), R"("\u0000")"},
      {"a\"b\\c/d", R"("a\"b\\c/d")"},
      {"\b\f\n\r\t", R"("\b\f\n\r\t")"},
      {"\x01\x1f\x7f", R"("\u0001\u001f)"
                       "\x7f\""},
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\x84", "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\x84\""},
      {"caf\xe9.tif", R"("caf\ufffd.tif")"},                  // Latin-1
      {"\x80", R"("\ufffd")"},                                // a stray continuation byte
      {"\xc0\xaf", R"("\ufffd\ufffd")"},                      // overlong "/"
      {"\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},            // a surrogate
      {"\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},  // beyond U+10FFFF
      {"\xe2\x82", R"("\ufffd\ufffd")"},                      // cut short
  };
  for (const auto& c : cases) {
    std::string json;
    AppendJsonString(json, c.text);
    EXPECT_EQ(json, c.json) << c.text;
    const auto parsed = testing::ParseJson(json);
    ASSERT_TRUE(parsed.has_value()) << json;
    if (json.find("ufffd") == std::string::npos) {
      EXPECT_EQ(parsed->string, c.text);
    }
  }
}

TEST(JsonWriterTest, PlacesCommasBetweenValuesAtEveryLevel) {
  JsonWriter json;
  json.BeginObject().Key("empty").BeginArray().EndArray().Key("none").BeginObject().EndObject();
  json.Key("mixed").BeginArray().Number(1).BeginObject().Member("d", "e").Member("n", -5);
  json.EndObject().BeginArray().EndArray().Number(INT64_MIN).EndArray();
  json.Member("list", {"x", "y"}).EndObject();
  EXPECT_EQ(json.text(), R"({"empty":[],"none":{},"mixed":[1,{"d":"e","n":-5},[],)"
                         R"(-9223372036854775808],"list":["x","y"]})");
}

TEST(JsonValueTest, RefusesTextThatIsNotOneJsonValue) {
  for (const char* text :
       {"", "{", "[1,]", R"({"a":1,})", R"({"a" 1})", "[1 2]", "01", "1.", "-", R"("a)", "\"\x01\"",
        R"("\x")", R"("\u12g4")", R"({"a":1,"a":2})", "{} {}", "nul"}) {
    EXPECT_FALSE(testing::ParseJson(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace ostrel
