#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cgi/ostrel_class.h"
#include "platform/error.h"
#include "tests/support/ostrel_class_peer.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using Table = std::vector<std::pair<std::string, std::string>>;

class FormInputTest : public ::testing::Test {
 protected:
  void SetUp() override { peer_.context().Pairs.Reset(); }
  // The slots after slot 0.
  Table Pairs() {
    Table pairs;
    for (size_t i = 1; i < peer_.context().Pairs.size(); ++i) {
      pairs.emplace_back(peer_.context().Pairs[i].Name, peer_.context().Pairs[i].Value);
    }
    return pairs;
  }

  OstrelClass instance_;
  OstrelClassPeer peer_{instance_};
};

TEST_F(FormInputTest, SplitsOnRawSeparatorsAndDecodesEachPart) {
  const struct {
    const char* text;
    Table pairs;
  } cases[] = {
      {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
      {"a=b=c&d=e", {{"a", "b=c"}, {"d", "e"}, {"", ""}}},
      {"x&y=1", {{"x&y", "1"}}},
      {"&a=1", {{"&a", "1"}}},
      {"=v", {{"", "v"}}},
      {"a=&b=", {{"a", ""}, {"b", ""}}},
      {"a=1&b", {{"a", "1"}}},
      {"a=1&&b=2", {{"a", "1"}, {"&b", "2"}}},
      {"abc", {}},
      {"", {}},
      {"FN=scan+01%21", {{"FN", "scan 01!"}}},
      {"a%3Db=c%26d", {{"a=b", "c&d"}}},
  };
  for (const auto& c : cases) {
    SetUp();
    peer_.ParseNameValuePairs(c.text);
    EXPECT_EQ(Pairs(), c.pairs) << c.text;
  }
}

TEST_F(FormInputTest, LaterTextsAppendBehindEmptySlots) {
  peer_.ParseNameValuePairs("a=b=c");
  peer_.ParseNameValuePairs("no pairs");
  peer_.ParseNameValuePairs("d=e");
  EXPECT_EQ(Pairs(), (Table{{"a", "b=c"}, {"", ""}, {"d", "e"}}));
}

TEST_F(FormInputTest, ABadEscapeStopsTheParseAndKeepsWhatWasFilled) {
  EXPECT_EQ(testing::RaisedError([&] { peer_.ParseNameValuePairs("a=1&b=%zz&c=3"); }).number(),
            Error(ErrorKind::kTypeMismatch).number());
  EXPECT_EQ(Pairs(), (Table{{"a", "1"}, {"b", ""}, {"", ""}}));  // b named before its value failed
}

TEST_F(FormInputTest, LookupIgnoresCaseAndJoinsOnWhatWasGathered) {
  const struct {
    std::vector<std::string> values;
    const char* joined;
  } cases[] = {
      {{"a", "b"}, "a;b"}, {{"", "b"}, "b"}, {{"a", "", "b"}, "a;;b"},
      {{"a", ""}, "a;"},   {{"", ""}, ""},   {{}, ""},
  };
  for (const auto& c : cases) {
    SetUp();
    PairTable& pairs = peer_.context().Pairs;
    pairs.Append({"Path", "p"});
    const char* names[] = {"FN", "fn", "Fn"};
    for (size_t i = 0; i < c.values.size(); ++i) {
      pairs.Append({names[i % 3], c.values[i]});
    }
    for (const char* name : {"FN", "fn", "fN"}) {
      EXPECT_EQ(peer_.GetCgiValue(name), c.joined) << name;
    }
    EXPECT_EQ(peer_.GetCgiValue("PATH"), "p");
    EXPECT_EQ(peer_.GetCgiValue("Pat"), "");
  }
  EXPECT_FALSE(peer_.context().HtmlHeaderSent);  // no lookup reported a failure
}

}  // namespace
}  // namespace ostrel
