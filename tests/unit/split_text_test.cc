#include "helpers/split_text.h"

#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(SplitTextTest, KeepsEveryPieceEmptyOnesIncluded) {
  using Pieces = std::vector<std::string_view>;
  const struct {
    std::string_view text;
    Pieces pieces;
  } cases[] = {
      {"", {""}},
      {",", {"", ""}},
      {"a", {"a"}},
      {"a,,b,", {"a", "", "b", ""}},
      {",1,2,3,4", {"", "1", "2", "3", "4"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitText(c.text, ','), c.pieces) << c.text;
  }
}

}  // namespace
}  // namespace ostrel
