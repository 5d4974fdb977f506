#include "helpers/json_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;

TEST(JsonReaderTest, ReadsEveryKindOfValue) {
  const JsonNode node = ReadJson(
      " {\"a\":[1,-2.5,3e2,0],\"b\":null,\"c\":true,\"d\":false,"
      "\"e\":\"x\\\"\\\\\\/\\b\\f\\n\\r\\t\\u00e9\\ud83d\\udcc4\\ud800\",\"a\":{}} ");
  ASSERT_EQ(node.type, JsonNode::Type::kObject);
  const JsonNode* a = node.Find("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->items.size(), 4u);
  EXPECT_EQ(a->items[0].number, 1);
  EXPECT_EQ(a->items[1].number, -2.5);
  EXPECT_EQ(a->items[2].number, 300);
  EXPECT_EQ(a->items[3].number, 0);
  EXPECT_EQ(node.Find("b")->type, JsonNode::Type::kNull);
  EXPECT_TRUE(node.Find("c")->boolean);
  EXPECT_EQ(node.Find("d")->type, JsonNode::Type::kBoolean);
  EXPECT_FALSE(node.Find("d")->boolean);
  EXPECT_EQ(node.Find("e")->string, "x\"\\/\b\f\n\r\t\xc3\xa9\xf0\x9f\x93\x84\xef\xbf\xbd");
  EXPECT_EQ(node.Find("z"), nullptr);
  EXPECT_EQ(node.members.size(), 6u);
}

TEST(JsonReaderTest, RefusesTextThatIsNotExactlyOneValue) {
  for (const std::string& text :
       std::vector<std::string>{"",
                                " ",
                                "{",
                                "[1,]",
                                "[,1]",
                                "{\"a\":1,}",
                                "{\"a\" 1}",
                                "{a:1}",
                                "01",
                                "-",
                                "1.",
                                ".5",
                                "1e",
                                "+1",
                                "1e999",
                                "\"a",
                                "\"\\x\"",
                                "\"\\u12\"",
                                "\"\\u12g4\"",
                                std::string("\"a\nb\""),
                                "nul",
                                "truex",
                                "[1] 2",
                                "{} {}",
                                std::string(65, '[') + std::string(65, ']')}) {
    EXPECT_TRUE(RaisedError([&] { ReadJson(text); }).Is(ErrorKind::kTypeMismatch)) << text;
  }
  EXPECT_NO_THROW(ReadJson(std::string(64, '[') + std::string(64, ']')));
}

}  // namespace
}  // namespace ostrel
