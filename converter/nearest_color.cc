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

}  // namespace

NearestColor::NearestColor(Palette palette)
    : palette_(std::move(palette)), cells_(size_t{1} << (3 * kCellBits)) {}

const NearestColor::Candidates& NearestColor::CandidatesOf(int red, int green, int blue) {
  constexpr int kShift = 8 - kCellBits;
  const size_t cell = (static_cast<size_t>(red >> kShift) << (2 * kCellBits)) |
                      (static_cast<size_t>(green >> kShift) << kCellBits) |
                      static_cast<size_t>(blue >> kShift);
  Candidates& candidates = cells_[cell];
  if (candidates.count != 0) {
    return candidates;
  }
  // An entry can be nearest to some colour of the cell only if its nearest
  // distance to the cell is within the smallest farthest distance of any
  // entry: that entry is at least as near to every colour of the cell.
  constexpr int kWidth = 1 << kShift;
  const std::array<int, 3> low = {red >> kShift << kShift, green >> kShift << kShift,
                                  blue >> kShift << kShift};
  int bound = std::numeric_limits<int>::max();
  for (const Rgb& color : palette_) {
    bound = std::min(bound, Square(FarthestOffset(color.red, low[0], low[0] + kWidth - 1)) +
                                Square(FarthestOffset(color.green, low[1], low[1] + kWidth - 1)) +
                                Square(FarthestOffset(color.blue, low[2], low[2] + kWidth - 1)));
  }
  candidates.first = static_cast<uint32_t>(candidates_.size());
  for (size_t i = 0; i < palette_.size(); ++i) {
    const Rgb& color = palette_[i];
    const int nearest = Square(NearestOffset(color.red, low[0], low[0] + kWidth - 1)) +
                        Square(NearestOffset(color.green, low[1], low[1] + kWidth - 1)) +
                        Square(NearestOffset(color.blue, low[2], low[2] + kWidth - 1));
    if (nearest <= bound) {
      candidates_.push_back(Entry{color.red, color.green, color.blue, static_cast<int32_t>(i)});
    }
  }
  candidates.count = static_cast<uint16_t>(candidates_.size() - candidates.first);
  return candidates;
}

uint8_t NearestColor::Find(int red, int green, int blue) {
  const Candidates& candidates = CandidatesOf(red, green, blue);
  const Entry* entry = &candidates_[candidates.first];
  const Entry* const end = entry + candidates.count;
  int best = entry->index;
  int best_distance = std::numeric_limits<int>::max();
  for (; entry != end; ++entry) {
    const int distance =
        Square(entry->red - red) + Square(entry->green - green) + Square(entry->blue - blue);
    // Written to become conditional moves: which candidate wins is not
    // predictable.
    best = distance < best_distance ? entry->index : best;
    best_distance = std::min(distance, best_distance);
  }
  return static_cast<uint8_t>(best);
}

}  // namespace ostrel
