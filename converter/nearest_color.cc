#include "converter/nearest_color.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace ostrel {
namespace {

int Square(int value) { return value * value; }

// The distance from `value` to the nearest and to the farthest point of
// [low, high].
int NearestOffset(int value, int low, int high) {
  return value < low ? low - value : value > high ? value - high : 0;
}
int FarthestOffset(int value, int low, int high) { return std::max(value - low, high - value); }

// A palette entry as the search reads it: no indirection, no narrow
// arithmetic.
struct Entry {
  int32_t red;
  int32_t green;
  int32_t blue;
  int32_t index;
};

}  // namespace

NearestColor::NearestColor(Palette palette)
    : palette_(std::move(palette)), blocks_(size_t{1} << (3 * kCellBits)) {}

uint32_t NearestColor::FillCell(size_t cell) {
  constexpr int kWidth = 1 << kShift;
  constexpr int kCellMask = (1 << kCellBits) - 1;
  const std::array<int, 3> low = {static_cast<int>(cell >> (2 * kCellBits)) << kShift,
                                  static_cast<int>(cell >> kCellBits & kCellMask) << kShift,
                                  static_cast<int>(cell & kCellMask) << kShift};
  const std::array<int, 3> high = {low[0] + kWidth - 1, low[1] + kWidth - 1, low[2] + kWidth - 1};
  // An entry can be nearest to some colour of the cell only if its nearest
  // distance to the cell is within the smallest farthest distance of any
  // entry: that entry is at least as near to every colour of the cell.
  int bound = std::numeric_limits<int>::max();
  for (const Rgb& color : palette_) {
    bound = std::min(bound, Square(FarthestOffset(color.red, low[0], high[0])) +
                                Square(FarthestOffset(color.green, low[1], high[1])) +
                                Square(FarthestOffset(color.blue, low[2], high[2])));
  }
  std::vector<Entry> candidates;
  for (size_t i = 0; i < palette_.size(); ++i) {
    const Rgb& color = palette_[i];
    const int nearest = Square(NearestOffset(color.red, low[0], high[0])) +
                        Square(NearestOffset(color.green, low[1], high[1])) +
                        Square(NearestOffset(color.blue, low[2], high[2]));
    if (nearest <= bound) {
      candidates.push_back(Entry{color.red, color.green, color.blue, static_cast<int32_t>(i)});
    }
  }
  const size_t start = entries_.size();
  entries_.resize(start + (size_t{1} << (3 * kShift)));
  Match* entry = &entries_[start];
  for (int red = low[0]; red <= high[0]; ++red) {
    for (int green = low[1]; green <= high[1]; ++green) {
      for (int blue = low[2]; blue <= high[2]; ++blue) {
        int best = candidates[0].index;
        int best_distance = std::numeric_limits<int>::max();
        for (const Entry& candidate : candidates) {
          const int distance = Square(candidate.red - red) + Square(candidate.green - green) +
                               Square(candidate.blue - blue);
          // In palette order: of entries equally near, the first stays.
          best = distance < best_distance ? candidate.index : best;
          best_distance = std::min(distance, best_distance);
        }
        *entry++ = Match{static_cast<uint8_t>(best), palette_[static_cast<size_t>(best)]};
      }
    }
  }
  const auto block = static_cast<uint32_t>(start >> (3 * kShift)) + 1;
  blocks_[cell] = block;
  return block;
}

}  // namespace ostrel
