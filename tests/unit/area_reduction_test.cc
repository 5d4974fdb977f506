#include "converter/area_reduction.h"

#include <cstdint>
#include <span>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

// The weighted sums of one axis the slow way: every source pixel cut into
// `unit` pieces, each output pixel summing the pieces it covers.
std::vector<uint64_t> PieceSums(const std::vector<uint8_t>& values, const AxisScale& axis) {
  std::vector<uint64_t> sums(axis.target);
  for (uint32_t x = 0; x < axis.target; ++x) {
    for (uint64_t piece = axis.offset + x * axis.step; piece < axis.offset + (x + 1) * axis.step;
         ++piece) {
      sums[x] += values[piece / axis.unit];
    }
  }
  return sums;
}

TEST(AreaReductionTest, AnyPartOfTheSourceAtAnySizeWeighsWhatEachOutputPixelCovers) {
  // source, target, unit, offset, step; the output within the source given.
  const AxisScale cases[] = {
      {1, 1, 1, 0, 1},      // one pixel, copied
      {1, 5, 5, 0, 1},      // one pixel enlarged five times
      {7, 15, 15, 0, 7},    // 7 rows stretched to 15: copies, some blended
      {3, 3, 45, 18, 28},   // a stretched grid's rows 3 to 6 at 3: starts inside a pixel
      {13, 4, 4, 0, 13},    // reduced by 13 / 4
      {9, 4, 4, 3, 8},      // reduced, from three quarters into the first pixel
      {65, 65, 65, 0, 65},  // the same size
  };
  for (const AxisScale& axis : cases) {
    SCOPED_TRACE(::testing::Message()
                 << axis.source << " -> " << axis.target << ", unit " << axis.unit << ", offset "
                 << axis.offset << ", step " << axis.step);
    ASSERT_LE(axis.offset + axis.target * axis.step, axis.source * axis.unit);
    std::vector<uint8_t> values(axis.source);
    for (uint32_t i = 0; i < axis.source; ++i) {
      values[i] = static_cast<uint8_t>(i * 89 % 251 + 1);
    }
    const std::vector<uint64_t> want = PieceSums(values, axis);
    const AxisScale one{1, 1, 1, 0, 1};

    // Across: one row.
    std::vector<std::vector<uint64_t>> rows;
    AreaReduction across(axis, one, 1, [&](std::span<const uint64_t> sums) {
      rows.emplace_back(sums.begin(), sums.end());
    });
    across.AddByteRow(values);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], want);
    EXPECT_EQ(across.total_weight(), axis.step);

    // Down: one column, the same values a row each; 1-bit rows of the
    // values' lowest bits likewise.
    rows.clear();
    AreaReduction down(one, axis, 1, [&](std::span<const uint64_t> sums) {
      rows.emplace_back(sums.begin(), sums.end());
    });
    std::vector<uint8_t> bits(axis.source);
    for (uint32_t i = 0; i < axis.source; ++i) {
      down.AddByteRow(std::span<const uint8_t>(&values[i], 1));
      bits[i] = values[i] & 1;
    }
    ASSERT_EQ(rows.size(), axis.target);
    for (uint32_t i = 0; i < axis.target; ++i) {
      EXPECT_EQ(rows[i][0], want[i]) << "output row " << i;
    }
    std::vector<uint8_t> packed((axis.source + 7) / 8);
    for (uint32_t i = 0; i < axis.source; ++i) {
      packed[i / 8] |= static_cast<uint8_t>(bits[i] << (7 - i % 8));
    }
    rows.clear();
    AreaReduction bit_row(axis, one, 1, [&](std::span<const uint64_t> sums) {
      rows.emplace_back(sums.begin(), sums.end());
    });
    bit_row.AddBitRow(packed);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0], PieceSums(bits, axis));
  }
}

}  // namespace
}  // namespace ostrel
