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
    : AreaReduction(AxisScale{source.width, target.width, target.width, 0, source.width},
                    AxisScale{source.height, target.height, target.height, 0, source.height},
                    channels, std::move(sink)) {}

AreaReduction::AreaReduction(AxisScale across, AxisScale down, int channels, RowSink sink)
    : across_(across),
      down_(down),
      sink_(std::move(sink)),
      total_weight_(across.step * down.step),
      output_spans_(across.target),
      padded_row_((size_t{across.source} + 7) / 8 + 8),
      row_sums_(size_t{across.target} * channels),
      current_(size_t{across.target} * channels) {
  // Source column i covers [i * unit, (i + 1) * unit).
  const uint64_t unit = across.unit;
  for (uint32_t x = 0; x < across.target; ++x) {
    const uint64_t start = across.offset + x * across.step;
    const uint64_t end = start + across.step;
    OutputSpan& span = output_spans_[x];
    span.first = static_cast<uint32_t>(start / unit);
    span.last = static_cast<uint32_t>((end - 1) / unit);
    span.first_weight = std::min((span.first + 1) * unit, end) - start;
    span.last_weight = end - span.last * unit;
  }
}

void AreaReduction::AddBitRow(std::span<const uint8_t> packed) {
  std::memcpy(padded_row_.data(), packed.data(), (across_.source + 7) / 8);
  SumBitSpans(padded_row_.data(), output_spans_, across_.unit, row_sums_.data());
  AddRowSums();
}

void AreaReduction::AddByteRow(std::span<const uint8_t> values) {
  const uint64_t tw = across_.unit;
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
  const uint64_t tw = across_.unit;
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
  // Down, likewise: source row y covers [y * unit, (y + 1) * unit), output
  // row t covers [offset + t * step, offset + (t + 1) * step). A source row
  // reaches into every output row it overlaps: reduced, at most two;
  // enlarged, it completes those within it.
  const uint64_t row_start = source_row_ * down_.unit;
  const uint64_t row_end = row_start + down_.unit;
  const size_t count = current_.size();
  while (output_row_ < down_.target) {
    const uint64_t output_start = down_.offset + output_row_ * down_.step;
    const uint64_t output_end = output_start + down_.step;
    if (output_start >= row_end) {
      break;
    }
    const uint64_t weight = std::min(row_end, output_end) - std::max(row_start, output_start);
    if (weight != 0 && output_end > row_start) {
      for (size_t i = 0; i < count; ++i) {
        current_[i] += row_sums_[i] * weight;
      }
    }
    if (output_end > row_end) {
      break;
    }
    sink_(current_);
    std::fill(current_.begin(), current_.end(), 0);
    ++output_row_;
  }
  ++source_row_;
}

}  // namespace ostrel
