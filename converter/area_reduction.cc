#include "converter/area_reduction.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace ostrel {
namespace {

// The processor's popcount instruction where it has one, chosen when the
// program starts: the portable build would count through a library call.
#if defined(__x86_64__) && defined(__linux__)
#define OSTREL_WITH_POPCOUNT __attribute__((target_clones("popcnt", "default")))
#else
#define OSTREL_WITH_POPCOUNT
#endif

// For each output column of a 1-bit row (`padded`, with 8 zero bytes
// after it), the weighted count of ones it covers: its whole source pixels
// weigh `full_weight`, the two at its ends their share. The bits are taken
// 57 at a time, from an unaligned big-endian load.
OSTREL_WITH_POPCOUNT
void SumBitSpans(const uint8_t* padded, std::span<const AreaReduction::OutputSpan> spans,
                 uint64_t full_weight, uint64_t* sums) {
  constexpr uint32_t kBitsAtOnce = 57;  // what a load holds after skipping up to 7 bits
  for (size_t x = 0; x < spans.size(); ++x) {
    const AreaReduction::OutputSpan& span = spans[x];
    uint64_t ones = 0;
    for (uint32_t begin = span.first; begin <= span.last; begin += kBitsAtOnce) {
      uint64_t word;
      std::memcpy(&word, padded + begin / 8, sizeof word);
      if constexpr (std::endian::native == std::endian::little) {
        word = __builtin_bswap64(word);
      }
      const uint32_t count = std::min(span.last + 1 - begin, kBitsAtOnce);
      ones += static_cast<uint64_t>(std::popcount((word << (begin % 8)) >> (64 - count)));
    }
    const uint64_t first_bit = (padded[span.first / 8] >> (7 - span.first % 8)) & 1u;
    const uint64_t last_bit = (padded[span.last / 8] >> (7 - span.last % 8)) & 1u;
    sums[x] = span.Weigh(ones, first_bit, last_bit, full_weight);
  }
}

}  // namespace

AreaReduction::AreaReduction(ImageSize source, ImageSize target, int channels, RowSink sink)
    : source_(source),
      target_(target),
      sink_(std::move(sink)),
      total_weight_(uint64_t{source.width} * source.height),
      output_spans_(target.width),
      padded_row_((size_t{source.width} + 7) / 8 + 8),
      row_sums_(size_t{target.width} * channels),
      current_(size_t{target.width} * channels),
      next_(size_t{target.width} * channels) {
  // Across, a source pixel is target.width units long and an output pixel
  // source.width units: source column i covers [i * tw, (i + 1) * tw), and
  // output column x covers [x * sw, (x + 1) * sw).
  const uint64_t tw = target.width;
  const uint64_t sw = source.width;
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
  std::memcpy(padded_row_.data(), packed.data(), (source_.width + 7) / 8);
  SumBitSpans(padded_row_.data(), output_spans_, target_.width, row_sums_.data());
  AddRowSums();
}

void AreaReduction::AddByteRow(std::span<const uint8_t> values) {
  const uint64_t tw = target_.width;
  for (size_t x = 0; x < output_spans_.size(); ++x) {
    const OutputSpan& span = output_spans_[x];
    uint32_t sum = 0;
    for (uint32_t i = span.first; i <= span.last; ++i) {
      sum += values[i];
    }
    row_sums_[x] = span.Weigh(sum, values[span.first], values[span.last], tw);
  }
  AddRowSums();
}

void AreaReduction::AddRgbaRow(std::span<const uint32_t> pixels) {
  const uint64_t tw = target_.width;
  for (size_t x = 0; x < output_spans_.size(); ++x) {
    const OutputSpan& span = output_spans_[x];
    // Each channel in a 32-bit lane of one of two sums: a row of
    // at most 65535 pixels keeps each lane's sum below 2^24.
    uint64_t even = 0;  // channels 0 and 2
    uint64_t odd = 0;   // channels 1 and 3
    for (uint32_t i = span.first; i <= span.last; ++i) {
      const uint32_t pixel = pixels[i];
      even += (pixel & 0xffu) | uint64_t{pixel & 0xff0000u} << 16;
      odd += (pixel >> 8 & 0xffu) | uint64_t{pixel & 0xff000000u} << 8;
    }
    const uint64_t whole[4] = {even & 0xffffffff, odd & 0xffffffff, even >> 32, odd >> 32};
    const uint32_t first = pixels[span.first];
    const uint32_t last = pixels[span.last];
    uint64_t* sums = row_sums_.data() + x * 4;
    for (int channel = 0; channel < 4; ++channel) {
      const uint64_t first_value = (first >> (8 * channel)) & 0xff;
      const uint64_t last_value = (last >> (8 * channel)) & 0xff;
      sums[channel] = span.Weigh(whole[channel], first_value, last_value, tw);
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
