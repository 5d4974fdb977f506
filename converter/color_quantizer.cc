#include "converter/color_quantizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <utility>

#include "converter/rgb.h"

namespace ostrel {
namespace {

using Moments = ColorHistogram::Moments;
constexpr int kSide = ColorHistogram::kSide;

// A box of cells: on each axis, the cells after `lower` up to `upper`.
struct Box {
  std::array<int, 3> lower{0, 0, 0};
  std::array<int, 3> upper{kSide - 1, kSide - 1, kSide - 1};

  int CellCount() const {
    return (upper[0] - lower[0]) * (upper[1] - lower[1]) * (upper[2] - lower[2]);
  }
};

double SquaredSum(const Moments& m) {
  const auto r = static_cast<double>(m.red);
  const auto g = static_cast<double>(m.green);
  const auto b = static_cast<double>(m.blue);
  return r * r + g * g + b * b;
}

// Cumulative moments: entry (r, g, b) sums every cell at or below it on all
// three axes, so that any box's moments take eight look-ups.
class CumulativeMoments {
 public:
  explicit CumulativeMoments(std::vector<Moments> cells) : sums_(std::move(cells)) {
    for (int r = 1; r < kSide; ++r) {
      for (int g = 1; g < kSide; ++g) {
        for (int b = 1; b < kSide; ++b) {
          Moments& m = sums_[ColorHistogram::At(r, g, b)];
          m += sums_[ColorHistogram::At(r, g, b - 1)];
        }
        for (int b = 1; b < kSide; ++b) {
          sums_[ColorHistogram::At(r, g, b)] += sums_[ColorHistogram::At(r, g - 1, b)];
        }
      }
      for (int g = 1; g < kSide; ++g) {
        for (int b = 1; b < kSide; ++b) {
          sums_[ColorHistogram::At(r, g, b)] += sums_[ColorHistogram::At(r - 1, g, b)];
        }
      }
    }
  }

  Moments Of(const Box& box) const {
    const auto& [r0, g0, b0] = box.lower;
    const auto& [r1, g1, b1] = box.upper;
    Moments m = At(r1, g1, b1);
    m -= At(r1, g1, b0);
    m -= At(r1, g0, b1);
    m += At(r1, g0, b0);
    m -= At(r0, g1, b1);
    m += At(r0, g1, b0);
    m += At(r0, g0, b1);
    m -= At(r0, g0, b0);
    return m;
  }

 private:
  const Moments& At(int r, int g, int b) const { return sums_[ColorHistogram::At(r, g, b)]; }
  std::vector<Moments> sums_;
};

// The sum of squared distances of a box's pixels from their mean.
double Variance(const Moments& m) {
  return m.count == 0
             ? 0.0
             : static_cast<double>(m.squares) - SquaredSum(m) / static_cast<double>(m.count);
}

// Splits `box` where the two halves keep the least variance together, that
// is where the sum of |channel sums|^2 / count over both halves is largest.
std::optional<std::pair<Box, Box>> Cut(const CumulativeMoments& moments, const Box& box) {
  const Moments whole = moments.Of(box);
  double best_score = 0;
  int best_axis = -1;
  int best_position = 0;
  for (int axis = 0; axis < 3; ++axis) {
    for (int position = box.lower[axis] + 1; position < box.upper[axis]; ++position) {
      Box lower_half = box;
      lower_half.upper[axis] = position;
      const Moments low = moments.Of(lower_half);
      Moments high = whole;
      high -= low;
      if (low.count == 0 || high.count == 0) {
        continue;
      }
      const double score = SquaredSum(low) / static_cast<double>(low.count) +
                           SquaredSum(high) / static_cast<double>(high.count);
      if (score > best_score) {
        best_score = score;
        best_axis = axis;
        best_position = position;
      }
    }
  }
  if (best_axis < 0) {
    return std::nullopt;
  }
  std::pair<Box, Box> halves{box, box};
  halves.first.upper[best_axis] = best_position;
  halves.second.lower[best_axis] = best_position;
  return halves;
}

uint8_t Mean(int64_t sum, int64_t count) {
  return static_cast<uint8_t>(std::clamp<int64_t>((sum + count / 2) / count, 0, 255));
}

}  // namespace

ColorHistogram::Moments& ColorHistogram::Moments::operator+=(const Moments& other) {
  count += other.count;
  red += other.red;
  green += other.green;
  blue += other.blue;
  squares += other.squares;
  return *this;
}

ColorHistogram::Moments& ColorHistogram::Moments::operator-=(const Moments& other) {
  count -= other.count;
  red -= other.red;
  green -= other.green;
  blue -= other.blue;
  squares -= other.squares;
  return *this;
}

ColorHistogram::ColorHistogram() : cells_(static_cast<size_t>(kSide) * kSide * kSide) {}

Palette QuantizeColors(ColorHistogram histogram, int max_colors) {
  const CumulativeMoments moments(std::move(histogram).TakeCells());
  if (moments.Of(Box{}).count == 0) {
    return {};
  }
  // The variance that cutting a box may remove; 0 for a single cell.
  const auto gain_of = [&](const Box& box) {
    return box.CellCount() > 1 ? Variance(moments.Of(box)) : 0.0;
  };
  std::vector<Box> boxes{Box{}};
  std::vector<double> gain{gain_of(boxes[0])};
  while (static_cast<int>(boxes.size()) < max_colors) {
    const auto next =
        static_cast<size_t>(std::max_element(gain.begin(), gain.end()) - gain.begin());
    if (gain[next] <= 0) {
      break;
    }
    const std::optional<std::pair<Box, Box>> halves = Cut(moments, boxes[next]);
    if (!halves) {
      gain[next] = 0;  // its pixels all lie in one cell
      continue;
    }
    boxes[next] = halves->first;
    gain[next] = gain_of(boxes[next]);
    boxes.push_back(halves->second);
    gain.push_back(gain_of(boxes.back()));
  }
  Palette palette;
  for (const Box& box : boxes) {
    const Moments m = moments.Of(box);
    palette.push_back(Rgb{Mean(m.red, m.count), Mean(m.green, m.count), Mean(m.blue, m.count)});
  }
  return palette;
}

}  // namespace ostrel
