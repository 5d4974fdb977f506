#include "converter/sample_mapping.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace ostrel {
namespace {

template <typename Value>
Value Native(const uint8_t* bytes) {
  Value value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// `bits` (at most 32) starting at bit `offset` of `row`, most significant first.
uint32_t PackedBits(std::span<const uint8_t> row, size_t offset, int bits) {
  uint64_t window = 0;
  const size_t first = offset / 8;
  const size_t last = (offset + bits - 1) / 8;
  for (size_t i = first; i <= last; ++i) {
    window = window << 8 | row[i];
  }
  const size_t unused = (last + 1) * 8 - (offset + bits);
  return static_cast<uint32_t>(window >> unused) & static_cast<uint32_t>((uint64_t{1} << bits) - 1);
}

// A float of 1 sign bit, `exponent_bits` biased by 2^(exponent_bits-1) - 1,
// and `fraction_bits`, as IEEE formats are built.
double SmallFloat(uint32_t bits, int exponent_bits, int fraction_bits) {
  const bool negative = (bits >> (exponent_bits + fraction_bits)) & 1;
  const uint32_t exponent = (bits >> fraction_bits) & ((1u << exponent_bits) - 1);
  const uint32_t fraction = bits & ((1u << fraction_bits) - 1);
  const int bias = (1 << (exponent_bits - 1)) - 1;
  double value;
  if (exponent == 0) {
    value = std::ldexp(fraction, 1 - bias - fraction_bits);
  } else if (exponent == (1u << exponent_bits) - 1) {
    value = fraction == 0 ? INFINITY : NAN;
  } else {
    value = std::ldexp(fraction | (1u << fraction_bits),
                       static_cast<int>(exponent) - bias - fraction_bits);
  }
  return negative ? -value : value;
}

uint32_t NativeInteger(const uint8_t* bytes, int bits) {
  switch (bits) {
    case 16:
      return Native<uint16_t>(bytes);
    case 24: {
      // Three bytes in the host's order.
      uint32_t value = 0;
      std::memcpy(&value, bytes, 3);
      return std::endian::native == std::endian::little ? value : value >> 8;
    }
    default:
      return Native<uint32_t>(bytes);
  }
}

}  // namespace

bool IsReadableSampleType(const SampleType& type) {
  if (type.format == SampleFormat::kFloat) {
    return type.bits == 16 || type.bits == 24 || type.bits == 32 || type.bits == 64;
  }
  return type.bits >= 1 && type.bits <= 32;
}

double ReadSample(std::span<const uint8_t> row, size_t index, const SampleType& type) {
  const int bits = type.bits;
  const bool whole_bytes = bits == 16 || bits == 24 || bits == 32 || bits == 64;
  if (type.format == SampleFormat::kFloat) {
    const uint8_t* bytes = row.data() + index * (bits / 8);
    switch (bits) {
      case 16:
        return SmallFloat(Native<uint16_t>(bytes), 5, 10);
      case 24:
        return SmallFloat(NativeInteger(bytes, 24), 7, 16);
      case 32:
        return Native<float>(bytes);
      default:
        return Native<double>(bytes);
    }
  }
  const uint32_t raw = whole_bytes ? NativeInteger(row.data() + index * (bits / 8), bits)
                                   : PackedBits(row, index * bits, bits);
  if (type.format == SampleFormat::kSigned) {
    const uint64_t sign = uint64_t{1} << (bits - 1);
    return static_cast<double>(static_cast<int64_t>(raw ^ sign) - static_cast<int64_t>(sign));
  }
  return raw;
}

void SampleRange::Add(double value) {
  if (!std::isfinite(value)) {
    return;
  }
  low = empty ? value : std::min(low, value);
  high = empty ? value : std::max(high, value);
  empty = false;
}

bool SampleScale::NeedsSeenRange(const SampleType& type,
                                 const std::optional<SampleRange>& declared) {
  return type.format != SampleFormat::kUnsigned && !declared;
}

SampleScale::SampleScale(const SampleType& type, std::optional<SampleRange> declared,
                         const SampleRange& seen) {
  if (type.format == SampleFormat::kUnsigned) {
    high_ = static_cast<double>((uint64_t{1} << type.bits) - 1);
  } else if (declared) {
    low_ = declared->low;
    high_ = declared->high;
  } else if (type.format == SampleFormat::kFloat &&
             (seen.empty || (seen.low >= 0 && seen.high <= 1))) {
    high_ = 1;
  } else {
    low_ = seen.low;
    high_ = seen.high;
  }
}

SampleScale SampleScale::ForAlpha(const SampleType& type, std::optional<SampleRange> declared) {
  if (type.format != SampleFormat::kUnsigned && declared) {
    return SampleScale(declared->low, declared->high);
  }
  switch (type.format) {
    case SampleFormat::kUnsigned:
      return SampleScale(0, static_cast<double>((uint64_t{1} << type.bits) - 1));
    case SampleFormat::kSigned:
      return SampleScale(0, static_cast<double>((uint64_t{1} << (type.bits - 1)) - 1));
    case SampleFormat::kFloat:
      break;
  }
  return SampleScale(0, 1);
}

uint8_t SampleScale::Map(double value) const {
  if (!(high_ > low_) || std::isnan(value)) {
    return 0;
  }
  const double scaled = (value - low_) * 255.0 / (high_ - low_);
  return static_cast<uint8_t>(std::clamp(std::lround(std::clamp(scaled, -1.0, 256.0)), 0L, 255L));
}

}  // namespace ostrel
