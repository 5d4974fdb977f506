#include "converter/area_reduction.h"

#include <algorithm>
#include <bit>

namespace ostrel {
namespace {

// The ones among bits [begin, end) of `packed`, most significant bit of
// each byte first.
uint32_t CountOnes(const uint8_t* packed, uint32_t begin, uint32_t end) {
  if (begin >= end) {
    return 0;
  }
  const uint32_t first_byte = begin / 8;
  const uint32_t last_byte = (end - 1) / 8;
  const auto head_mask = static_cast<uint8_t>(0xff >> (begin % 8));
  const auto tail_mask = static_cast<uint8_t>(0xff << (7 - (end - 1) % 8));
  if (first_byte == last_byte) {
    return static_cast<uint32_t>(
        std::popcount(static_cast<uint8_t>(packed[first_byte] & head_mask & tail_mask)));
  }
  uint32_t count =
      static_cast<uint32_t>(std::popcount(static_cast<uint8_t>(packed[first_byte] & head_mask)));
  for (uint32_t i = first_byte + 1; i < last_byte; ++i) {
    count += static_cast<uint32_t>(std::popcount(packed[i]));
  }
  return count +
         static_cast<uint32_t>(std::popcount(static_cast<uint8_t>(packed[last_byte] & tail_mask)));
}

uint32_t BitAt(const uint8_t* packed, uint32_t index) {
  return (packed[index / 8] >> (7 - index % 8)) & 1u;
}

}  // namespace

AreaReduction::AreaReduction(ImageSize source, ImageSize target, int channels, RowSink sink)
    : source_(source),
      target_(target),
      channels_(channels),
      sink_(std::move(sink)),
      total_weight_(uint64_t{source.width} * source.height),
      column_target_(source.width),
      column_weight_(source.width),
      output_spans_(target.width),
      row_sums_((size_t{target.width} + 1) * channels),
      current_(size_t{target.width} * channels),
      next_(size_t{target.width} * channels) {
  // Across, a source pixel is target.width units long and an output pixel
  // source.width units: source column i covers [i * tw, (i + 1) * tw), and
  // output column x covers [x * sw, (x + 1) * sw).
  const uint64_t tw = target.width;
  const uint64_t sw = source.width;
  for (uint32_t i = 0; i < source.width; ++i) {
    const uint64_t start = i * tw;
    const uint64_t x = start / sw;
    column_target_[i] = static_cast<uint32_t>(x);
    column_weight_[i] = static_cast<uint32_t>(std::min(start + tw, (x + 1) * sw) - start);
  }
  for (uint32_t x = 0; x < target.width; ++x) {
    const uint64_t start = x * sw;
    const uint64_t end = start + sw;
    OutputSpan& span = output_spans_[x];
    span.first = static_cast<uint32_t>(start / tw);
    span.last = static_cast<uint32_t>((end - 1) / tw);
    span.first_weight = static_cast<uint32_t>(std::min((span.first + 1) * tw, end) - start);
    span.last_weight = static_cast<uint32_t>(end - span.last * tw);
  }
}

void AreaReduction::AddBitRow(std::span<const uint8_t> packed) {
  const uint8_t* bits = packed.data();
  const uint64_t tw = target_.width;
  for (uint32_t x = 0; x < target_.width; ++x) {
    const OutputSpan& span = output_spans_[x];
    if (span.first == span.last) {
      row_sums_[x] = BitAt(bits, span.first) * uint64_t{span.first_weight};
    } else {
      row_sums_[x] = BitAt(bits, span.first) * uint64_t{span.first_weight} +
                     BitAt(bits, span.last) * uint64_t{span.last_weight} +
                     CountOnes(bits, span.first + 1, span.last) * tw;
    }
  }
  AddRowSums();
}

void AreaReduction::AddByteRow(std::span<const uint8_t> values) {
  std::fill(row_sums_.begin(), row_sums_.end(), 0);
  const uint64_t tw = target_.width;
  uint64_t* sums = row_sums_.data();
  for (uint32_t i = 0; i < source_.width; ++i) {
    const uint32_t x = column_target_[i];
    const uint64_t weighted = uint64_t{values[i]} * column_weight_[i];
    sums[x] += weighted;
    sums[x + 1] += values[i] * tw - weighted;  // the spare pixel takes a zero
  }
  AddRowSums();
}

void AreaReduction::AddRgbaRow(std::span<const uint32_t> pixels) {
  std::fill(row_sums_.begin(), row_sums_.end(), 0);
  const uint64_t tw = target_.width;
  uint64_t* sums = row_sums_.data();
  for (uint32_t i = 0; i < source_.width; ++i) {
    uint64_t* here = sums + size_t{column_target_[i]} * 4;
    const uint64_t weight = column_weight_[i];
    const uint32_t pixel = pixels[i];
    for (int channel = 0; channel < 4; ++channel) {
      const uint64_t value = (pixel >> (8 * channel)) & 0xff;
      here[channel] += value * weight;
      here[channel + 4] += value * (tw - weight);
    }
  }
  AddRowSums();
}

void AreaReduction::AddRowSums() {
  // Down, likewise: source row y covers [y * th, (y + 1) * th), output row
  // t covers [t * sh, (t + 1) * sh). A source row is never longer than an
  // output row, so it reaches at most into the next one.
  const uint64_t th = target_.height;
  const uint64_t sh = source_.height;
  const uint64_t start = source_row_ * th;
  const uint64_t t = start / sh;
  const uint64_t output_end = (t + 1) * sh;
  const uint64_t weight = std::min(start + th, output_end) - start;
  const uint64_t rest = th - weight;
  const size_t count = current_.size();
  for (size_t i = 0; i < count; ++i) {
    current_[i] += row_sums_[i] * weight;
  }
  if (rest != 0) {
    for (size_t i = 0; i < count; ++i) {
      next_[i] += row_sums_[i] * rest;
    }
  }
  ++source_row_;
  if (start + th >= output_end) {
    sink_(current_);
    current_.swap(next_);
    std::fill(next_.begin(), next_.end(), 0);
  }
}

}  // namespace ostrel
