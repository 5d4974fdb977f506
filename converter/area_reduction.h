// Reduction by area averaging: each output pixel is the mean of the source
// area it covers, source pixels cut by its edges counted by their share.
// Source rows go in top to bottom as they are decoded; only the output rows
// in progress are held.
#ifndef OSTREL_CONVERTER_AREA_REDUCTION_H_
#define OSTREL_CONVERTER_AREA_REDUCTION_H_

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "converter/image_size.h"

namespace ostrel {

// One axis of a reduction in whole units: a source pixel is `unit` units
// long, and output pixel i covers [offset + i * step, offset + (i + 1) *
// step) from the start of the first source pixel given. A plain reduction
// of `source` pixels to `target` has unit target, offset 0 and step source.
struct AxisScale {
  uint32_t source;  // source pixels given
  uint32_t target;  // output pixels
  uint64_t unit;
  uint64_t offset;
  uint64_t step;
};

class AreaReduction {
 public:
  // Takes each finished output row, top to bottom: per pixel (and channel,
  // interleaved) the sum of the source values it covers, each weighted so
  // that a whole output pixel's weights add up to total_weight(). The mean
  // is sum / total_weight(), exactly.
  using RowSink = std::function<void(std::span<const uint64_t> sums)>;

  // From `source` to `target`, neither side larger than the source's and
  // no side longer than 65535; `channels` values a pixel (1, or 4 for
  // AddRgbaRow).
  AreaReduction(ImageSize source, ImageSize target, int channels, RowSink sink);

  // Any part of the source at any size, enlarged too, `across` and `down`:
  // an output pixel within one source pixel is its copy. The output pixels
  // must lie within the source pixels given, and total_weight() (the two
  // steps' product) stay below 2^43.
  AreaReduction(AxisScale across, AxisScale down, int channels, RowSink sink);

  uint64_t total_weight() const { return total_weight_; }

  // Across, for an output column: the first and last source columns it
  // covers and their weights; those between weigh the output's width.
  struct OutputSpan {
    uint32_t first;
    uint32_t last;
    uint64_t first_weight;
    uint64_t last_weight;

    // The weighted sum of the values the span covers, from `whole`, their
    // plain sum, and the values at its two ends: every value counted whole
    // (`full_weight`), less what the end pixels lack. A span of one pixel
    // has it as both ends, with its weight in first_weight.
    uint64_t Weigh(uint64_t whole, uint64_t first_value, uint64_t last_value,
                   uint64_t full_weight) const {
      return first == last ? first_value * first_weight
                           : whole * full_weight - first_value * (full_weight - first_weight) -
                                 last_value * (full_weight - last_weight);
    }
  };

  // The next source row of 1-bit samples packed most significant bit
  // first; the value of a pixel is its bit, so the mean is the share of
  // ones. One channel.
  void AddBitRow(std::span<const uint8_t> packed);

  // The next source row, one value a pixel. One channel.
  void AddByteRow(std::span<const uint8_t> values);

  // The next source row, the four bytes of each value as four channels,
  // least significant first. Four channels.
  void AddRgbaRow(std::span<const uint32_t> pixels);

 private:
  // Takes row_sums_, the weighted sums of one source row across, into the
  // output rows it covers, and hands on the output row it completes.
  void AddRowSums();

  AxisScale across_;
  AxisScale down_;
  RowSink sink_;
  uint64_t total_weight_;

  std::vector<OutputSpan> output_spans_;  // one an output column
  std::vector<uint8_t> padded_row_;       // a 1-bit row and 8 zero bytes

  std::vector<uint64_t> row_sums_;  // one source row across
  std::vector<uint64_t> current_;   // the output row in progress
  uint32_t source_row_ = 0;
  uint32_t output_row_ = 0;
};

// sum / total * top rounded to the nearest whole number, halves up, for
// many sums over one total: the mean of AreaReduction's sums as a value
// (top 1), or a share as one of top + 1 evenly spaced levels. Exact, and
// without a division each: sum * top must stay below 2^51.
class RoundedMeans {
 public:
  RoundedMeans(uint64_t total, uint64_t top)
      : top_(top * 2),
        total_(total),
        denominator_(total * 2),
        reciprocal_(1.0 / static_cast<double>(denominator_)) {}

  uint64_t operator()(uint64_t sum) const {
    const uint64_t numerator = sum * top_ + total_;
    // The estimate is the quotient or one off it either way.
    auto quotient = static_cast<uint64_t>(static_cast<double>(numerator) * reciprocal_);
    if (quotient * denominator_ > numerator) {
      --quotient;
    } else if ((quotient + 1) * denominator_ <= numerator) {
      ++quotient;
    }
    return quotient;
  }

 private:
  uint64_t top_;
  uint64_t total_;
  uint64_t denominator_;
  double reciprocal_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_AREA_REDUCTION_H_
