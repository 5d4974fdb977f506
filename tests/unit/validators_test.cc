#include "cgi/validators.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helpers/http_date.h"

namespace ostrel {
namespace {

constexpr int64_t kModified = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT

TEST(ValidatorsTest, ConditionalRequestsFollowTheirPrecedenceAndComparison) {
  const Validators validators{"\"abc\"", kModified};
  const struct {
    const char* if_none_match;
    const char* if_modified_since;
    bool not_modified;
  } cases[] = {
      {"", "", false},
      {"\"abc\"", "", true},
      {"W/\"abc\"", "", true},  // weak comparison
      {"\"abd\"", "", false},
      {"abc", "", false},  // not a quoted tag
      {"\"x\", \"abc\"", "", true},
      {" \"x\" ,W/\"abc\" ", "", true},
      {"\"x\", \"y\"", "", false},
      {"*", "", true},
      {"\"ab\"c\"", "", false},
      // If-None-Match decides alone, whatever the date says.
      {"\"abd\"", "Sun, 06 Nov 1994 08:49:37 GMT", false},
      {"\"abc\"", "Sat, 05 Nov 1994 08:49:37 GMT", true},
      {"", "Sun, 06 Nov 1994 08:49:37 GMT", true},
      {"", "Sun, 06 Nov 1994 08:49:38 GMT", true},
      {"", "Sun, 06 Nov 1994 08:49:36 GMT", false},
      {"", "Sunday, 06-Nov-94 08:49:37 GMT", true},
      {"", "Sun Nov  6 08:49:37 1994", true},
      {"", "Sun Nov  6 08:49:36 1994", false},
      {"", "Fri, 31 Dec 9999 23:59:59 GMT", true},
      // Unparsable dates are ignored.
      {"", "Sun, 06 Nov 1994 08:49:37 UTC", false},
      {"", "Sun, 06 Nov 1994 08:49:37", false},
      {"", "Sun, 31 Nov 1994 08:49:37 GMT", false},
      {"", "Sun, 29 Feb 1995 08:49:37 GMT", false},
      {"", "Sun, 06 Nov 1994 24:00:00 GMT", false},
      {"", "Sun, 06 Nov 1994 08:49:37 GMT, Mon, 07 Nov 1994 08:49:37 GMT", false},
      {"", "784111777", false},
      {"", "yesterday", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsNotModified(c.if_none_match, c.if_modified_since, validators), c.not_modified)
        << "If-None-Match: " << c.if_none_match << ", If-Modified-Since: " << c.if_modified_since;
  }
}

TEST(ValidatorsTest, HttpDatesRoundTripAcrossTheCalendar) {
  EXPECT_EQ(FormatHttpDate(kModified), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(FormatHttpDate(0), "Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(FormatHttpDate(951782400), "Tue, 29 Feb 2000 00:00:00 GMT");
  EXPECT_EQ(ParseHttpDate("Tue, 29 Feb 2000 00:00:00 GMT"), 951782400);
  EXPECT_EQ(ParseHttpDate("Thursday, 01-Jan-70 00:00:00 GMT"), 0);
  EXPECT_EQ(ParseHttpDate("Wed, 01 Jan 2031 00:00:00 GMT"), 1924992000);
  std::mt19937_64 random(7);
  std::uniform_int_distribution<int64_t> seconds(0, 253402300799);  // to the end of 9999
  for (int trial = 0; trial < 2000; ++trial) {
    const int64_t value = seconds(random);
    EXPECT_EQ(ParseHttpDate(FormatHttpDate(value)), std::optional<int64_t>(value))
        << FormatHttpDate(value);
  }
}

TEST(ValidatorsTest, TheEntityTagChangesWithEveryInputAndWithNothingElse) {
  const ResponseSources base{{1, 2, 3, kModified, 5}, {6, 7, 8, 9, 10}, {11, 12, 13, 14, 15}};
  const std::string key = "picture\npage=2, width=800\n";
  const Validators reference = MakeValidators(base, key, kModified + 100);
  EXPECT_EQ(MakeValidators(base, key, kModified + 200).entity_tag, reference.entity_tag);
  EXPECT_EQ(reference.entity_tag.size(), 34u);
  EXPECT_EQ(reference.last_modified, kModified);
  // A file dated in the future is not said to be newer than the response.
  EXPECT_EQ(MakeValidators(base, key, kModified - 5).last_modified, kModified - 5);

  const auto changed = [&](auto change) {
    ResponseSources sources = base;
    std::string changed_key = key;
    change(sources, changed_key);
    return MakeValidators(sources, changed_key, kModified + 100).entity_tag;
  };
  std::vector<std::string> tags = {reference.entity_tag};
  for (FileState ResponseSources::*file :
       {&ResponseSources::source, &ResponseSources::converter, &ResponseSources::program}) {
    for (auto field : {&FileState::device, &FileState::inode}) {
      tags.push_back(changed([&](ResponseSources& s, std::string&) { ++(s.*file.*field); }));
    }
    for (auto field :
         {&FileState::size, &FileState::modified_seconds, &FileState::modified_nanoseconds}) {
      tags.push_back(changed([&](ResponseSources& s, std::string&) { ++(s.*file.*field); }));
    }
  }
  tags.push_back(changed([](ResponseSources&, std::string& k) { k += "x"; }));
  tags.push_back(
      changed([](ResponseSources&, std::string& k) { k = "picture\npage=3, width=800\n"; }));
  tags.push_back(changed([](ResponseSources&, std::string& k) { k.clear(); }));
  // Fields that only move between neighbours still differ.
  tags.push_back(changed([](ResponseSources& s, std::string&) {
    s.source.device = 12;
    s.source.inode = 3;
  }));
  std::sort(tags.begin(), tags.end());
  EXPECT_EQ(std::unique(tags.begin(), tags.end()), tags.end());
}

}  // namespace
}  // namespace ostrel
