// Stored samples of any depth and format (integers of 1 to 32 bits, signed
// or not, IEEE floats of 16, 24, 32 or 64 bits) read from decoded rows and
// mapped to 8 bits.
#ifndef OSTREL_CONVERTER_SAMPLE_MAPPING_H_
#define OSTREL_CONVERTER_SAMPLE_MAPPING_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace ostrel {

enum class SampleFormat { kUnsigned, kSigned, kFloat };

struct SampleType {
  SampleFormat format = SampleFormat::kUnsigned;
  uint16_t bits = 8;
};

// Whether samples of `type` can be read: integers of 1 to 32 bits, floats of
// 16, 24, 32 or 64.
bool IsReadableSampleType(const SampleType& type);

// Sample `index` of a decoded row: packed most significant bit first, each
// row starting on a byte, except that samples of 16, 24, 32 and 64 bits are
// whole bytes in native byte order (libtiff has swapped them). Floats of 16
// and 24 bits are IEEE half precision and the 24-bit format (sign, 7-bit
// exponent biased by 63, 16-bit fraction).
double ReadSample(std::span<const uint8_t> row, size_t index, const SampleType& type);

// The lowest and highest finite values seen.
struct SampleRange {
  double low = 0;
  double high = 0;
  bool empty = true;
  void Add(double value);
};

// A linear map of stored values onto 0..255, rounded and clamped:
// - unsigned integers in proportion to their full range, 0 to 2^bits - 1;
// - signed integers and floats from `declared` (SMinSampleValue to
//   SMaxSampleValue) when the file gives one; else floats whose values all
//   lie within 0..1 as 0..1; else from the lowest to the highest value on
//   the page (`seen`), a linear stretch. A page of one value maps to 0.
// NaN maps to 0.
class SampleScale {
 public:
  SampleScale() = default;
  SampleScale(const SampleType& type, std::optional<SampleRange> declared, const SampleRange& seen);
  // For alpha: unsigned integers in full range, signed ones from 0 to their
  // largest value, floats as 0..1; `declared` wins when given.
  static SampleScale ForAlpha(const SampleType& type, std::optional<SampleRange> declared);

  // Whether SampleScale needs `seen`: only signed integers and floats
  // without a declared range do.
  static bool NeedsSeenRange(const SampleType& type, const std::optional<SampleRange>& declared);

  uint8_t Map(double value) const;

 private:
  SampleScale(double low, double high) : low_(low), high_(high) {}
  double low_ = 0;
  double high_ = 255;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_SAMPLE_MAPPING_H_
