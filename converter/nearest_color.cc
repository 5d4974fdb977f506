#include "converter/nearest_color.h"

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace ostrel {
namespace {

int Square(int value) { return value * value; }

}  // namespace

NearestColor::NearestColor(Palette palette)
    : palette_(std::move(palette)),
      blocks_(size_t{1} << (3 * kCellBits), kUnfilled),
      regions_(size_t{1} << (3 * kRegionBits)) {
  // Never reallocated: growing by doubling would hold twice the table.
  entries_.reserve(kMostEntries + (size_t{1} << (3 * kShift)));
}

NearestColor::Match NearestColor::FindUncached(int red, int green, int blue) {
  uint8_t best = 0;
  int best_distance = std::numeric_limits<int>::max();
  for (const uint8_t i : RegionCandidates(red, green, blue)) {
    const Rgb& color = palette_[i];
    const int distance =
        Square(color.red - red) + Square(color.green - green) + Square(color.blue - blue);
    // Of entries equally near, the first stays, as in a filled cell.
    if (distance < best_distance) {
      best_distance = distance;
      best = i;
    }
  }
  return Match{best, palette_[best]};
}

std::span<const uint8_t> NearestColor::RegionCandidates(int red, int green, int blue) {
  Region& region = regions_[static_cast<size_t>(red >> kRegionShift) << (2 * kRegionBits) |
                            static_cast<size_t>(green >> kRegionShift) << kRegionBits |
                            static_cast<size_t>(blue >> kRegionShift)];
  if (region.count == 0) {
    // An entry can be nearest to some colour of the region only if its
    // nearest distance to the region is within the smallest farthest
    // distance of any entry: that entry is at least as near to every colour
    // of the region.
    constexpr int kWidth = 1 << kRegionShift;
    const std::array<int, 3> low = {red >> kRegionShift << kRegionShift,
                                    green >> kRegionShift << kRegionShift,
                                    blue >> kRegionShift << kRegionShift};
    const auto offset = [&](int c, int value, bool farthest) {
      const int high = low[c] + kWidth - 1;
      return farthest ? std::max(value - low[c], high - value)
                      : std::max({low[c] - value, value - high, 0});
    };
    const auto distance = [&](const Rgb& color, bool farthest) {
      return Square(offset(0, color.red, farthest)) + Square(offset(1, color.green, farthest)) +
             Square(offset(2, color.blue, farthest));
    };
    int bound = std::numeric_limits<int>::max();
    for (const Rgb& color : palette_) {
      bound = std::min(bound, distance(color, true));
    }
    region.first = static_cast<uint32_t>(region_candidates_.size());
    for (size_t i = 0; i < palette_.size(); ++i) {
      if (distance(palette_[i], false) <= bound) {
        region_candidates_.push_back(static_cast<uint8_t>(i));
      }
    }
    region.count = static_cast<uint32_t>(region_candidates_.size() - region.first);
  }
  return std::span<const uint8_t>(region_candidates_).subspan(region.first, region.count);
}

uint32_t NearestColor::FillCell(size_t cell) {
  constexpr int kWidth = 1 << kShift;
  constexpr int kCellMask = (1 << kCellBits) - 1;
  const std::array<int, 3> low = {static_cast<int>(cell >> (2 * kCellBits)) << kShift,
                                  static_cast<int>(cell >> kCellBits & kCellMask) << kShift,
                                  static_cast<int>(cell & kCellMask) << kShift};
  const std::array<int, 3> high = {low[0] + kWidth - 1, low[1] + kWidth - 1, low[2] + kWidth - 1};
  // The entry nearest to the cell's centre (doubled, to stay whole) rules
  // out every entry that it is nearer to than they are, or as near to and
  // before them, at all colours of the cell: whether it is shows at the
  // corners, since the difference of two squared distances is linear in
  // each channel.
  const std::span<const uint8_t> candidates = RegionCandidates(low[0], low[1], low[2]);
  size_t centre_entry = 0;
  int centre_distance = std::numeric_limits<int>::max();
  for (const uint8_t i : candidates) {
    const Rgb& color = palette_[i];
    const int distance = Square(2 * color.red - low[0] - high[0]) +
                         Square(2 * color.green - low[1] - high[1]) +
                         Square(2 * color.blue - low[2] - high[2]);
    if (distance < centre_distance) {
      centre_distance = distance;
      centre_entry = i;
    }
  }
  const Rgb& centre = palette_[centre_entry];
  const auto ruled_out = [&](size_t i) {
    const Rgb& color = palette_[i];
    const auto larger_end = [&](int c, int ours, int theirs) {
      return std::max(Square(low[c] - ours) - Square(low[c] - theirs),
                      Square(high[c] - ours) - Square(high[c] - theirs));
    };
    const int largest = larger_end(0, centre.red, color.red) +
                        larger_end(1, centre.green, color.green) +
                        larger_end(2, centre.blue, color.blue);
    return largest < (centre_entry < i ? 1 : 0);
  };
  // Each candidate in palette order against all colours of the cell at
  // once: the distances split into one term per channel, and the loop over
  // the colours has no branch.
  constexpr int kColors = 1 << (3 * kShift);
  std::array<int, kColors> best_distance;
  std::array<uint8_t, kColors> best;
  best_distance.fill(std::numeric_limits<int>::max());
  best.fill(0);
  for (const uint8_t i : candidates) {
    if (ruled_out(i)) {
      continue;
    }
    const Rgb& color = palette_[i];
    std::array<std::array<int, kWidth>, 3> terms;
    for (int k = 0; k < kWidth; ++k) {
      terms[0][k] = Square(low[0] + k - color.red);
      terms[1][k] = Square(low[1] + k - color.green);
      terms[2][k] = Square(low[2] + k - color.blue);
    }
    for (int j = 0; j < kColors; ++j) {
      const int distance = terms[0][j >> (2 * kShift)] + terms[1][j >> kShift & (kWidth - 1)] +
                           terms[2][j & (kWidth - 1)];
      // Of entries equally near, the first stays.
      best[j] = distance < best_distance[j] ? static_cast<uint8_t>(i) : best[j];
      best_distance[j] = std::min(distance, best_distance[j]);
    }
  }
  const size_t start = entries_.size();
  entries_.resize(start + kColors);
  for (int j = 0; j < kColors; ++j) {
    entries_[start + j] = Match{best[j], palette_[best[j]]};
  }
  const auto block = static_cast<uint32_t>(start);
  blocks_[cell] = block;
  return block;
}

}  // namespace ostrel
