// Small TIFF files written with libtiff for the converter's tests, and the
// pixels libtiff itself renders from them.
#ifndef OSTREL_TESTS_SUPPORT_TIFF_FIXTURES_H_
#define OSTREL_TESTS_SUPPORT_TIFF_FIXTURES_H_

#include <cstdint>
#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace ostrel::testing {

// One page: its samples and how they are stored. Tag values are libtiff's.
struct FixturePage {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t bits_per_sample = 8;
  uint16_t samples_per_pixel = 1;
  uint16_t photometric = 1;  // PHOTOMETRIC_MINISBLACK
  uint16_t compression = 1;  // COMPRESSION_NONE
  uint16_t orientation = 1;
  std::vector<uint16_t> extra_samples{};  // one per sample beyond the colour ones
  uint32_t rows_per_strip = 0;            // 0: one strip
  uint32_t tile_width = 0;                // tiled when both are set
  uint32_t tile_height = 0;
  std::vector<uint16_t> colormap{};  // red, then green, then blue entries
  float x_resolution = 0;            // dots per inch, written when set
  float y_resolution = 0;
  int jpeg_quality = 0;          // JPEG only: 0 keeps libtiff's default
  bool ycbcr = false;            // JPEG only: stored as YCbCr, given as RGB
  uint32_t group3_options = 0;   // CCITT Group 3 only: GROUP3OPT_2DENCODING
  uint16_t predictor = 1;        // LZW and Deflate: PREDICTOR_HORIZONTAL differences
  uint16_t sample_format = 1;    // SAMPLEFORMAT_UINT
  bool separate_planes = false;  // samples of 8 bits or more, one plane each
  double smin = 0;               // SMinSampleValue and SMaxSampleValue, written when smax > smin
  double smax = 0;
  // LZW: codes as pre-1991 encoders wrote them (least significant bit
  // first, wider one code late); COMPRESSION_OJPEG: each strip one whole
  // baseline JPEG stream, of an 8-bit gray page.
  bool old_style = false;
  // PHOTOMETRIC_YCBCR without JPEG: chroma of 2 x 2 pixels shared, the
  // samples stored in blocks of four Y, then Cb and Cr, as they are written.
  bool subsampled = false;
  // Rows top to bottom as stored: samples interleaved, each row starting on a
  // byte, 16-, 24-, 32- and 64-bit samples in native byte order.
  std::vector<uint8_t> samples{};
  // When set, writes stored row `row` into `bytes` (one row, zeroed) in place
  // of `samples`, so that a page too large to hold is written strip by strip.
  // Strips of one plane only.
  std::function<void(uint32_t row, std::span<uint8_t> bytes)> make_row{};
};

// Writes `pages` as one TIFF file. Raises std::runtime_error.
void WriteTiff(const std::string& path, const std::vector<FixturePage>& pages);

// `values` (one per sample, row by row) packed at `bits` bits (at most 16), MSB first,
// each row of `row_samples` samples starting on a byte.
std::vector<uint8_t> PackSamples(const std::vector<uint16_t>& values, int bits,
                                 uint32_t row_samples);

// Native-order bytes of `values`, each cast to `Sample`.
template <typename Sample, typename Value>
std::vector<uint8_t> NativeBytes(const std::vector<Value>& values) {
  std::vector<uint8_t> bytes(values.size() * sizeof(Sample));
  for (size_t i = 0; i < values.size(); ++i) {
    const auto sample = static_cast<Sample>(values[i]);
    std::memcpy(bytes.data() + i * sizeof(Sample), &sample, sizeof(Sample));
  }
  return bytes;
}

// `values` as stored samples of `bits` bits (1 to 16, 32, or a float's 16,
// 24, 32 or 64) of sample `format`, rows of `row_samples`; floats of 16 and
// 24 bits must be exact in them.
std::vector<uint8_t> EncodeSamples(const std::vector<double>& values, int bits, uint16_t format,
                                   uint32_t row_samples);

// `data` compressed as pre-1991 LZW encoders did: codes packed least
// significant bit first, each code widened one entry later than now.
std::vector<uint8_t> OldStyleLzw(const std::vector<uint8_t>& data);

// A baseline JPEG stream of 8-bit gray `samples` written by libjpeg, and
// libjpeg's own decoding of one.
std::vector<uint8_t> GrayJpeg(uint32_t width, uint32_t height, const std::vector<uint8_t>& samples);
std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& stream);

// Deterministic samples in [0, levels): a mix of gradients and noise, so
// that every level occurs in a large enough image and rows differ.
std::vector<uint16_t> PatternSamples(uint32_t count, uint32_t levels, uint32_t seed);

// A smooth, noisy RGB picture, 8 bits a sample, interleaved.
std::vector<uint8_t> PhotoSamples(uint32_t width, uint32_t height);

// Pages that cost much for their few bytes, their rows made as they are
// written. A 65535 x `height` CCITT Group 4 page, min-is-white, of thin
// black lines across and down, a diagonal band and a black corner block:
// black where FaxLinesBlack(x, y) says so.
FixturePage FaxLinesPage(uint32_t height);
bool FaxLinesBlack(uint32_t x, uint32_t y);
// A `width` x `height` RGB page of smooth gradients, of more colours than a
// palette holds, Zstandard with horizontal differencing, strips of 64 rows:
// some 1000 stored pixels a byte.
FixturePage SmoothColorPage(uint32_t width, uint32_t height);

// Page `page` (from 1) of `path` as libtiff renders it, top row first, as
// 0xAABBGGRR values (TIFFGetR and its kin).
std::vector<uint32_t> LibtiffRgba(const std::string& path, int page = 1);

// The value of a tag with one value in the first directory of a classic
// little-endian file, and changing it in place (so that a file can claim
// what libtiff would not write: a strip that ends early as in a truncated
// file, a huge size, an unknown compression). A value too large for the
// tag's SHORT makes it a LONG.
uint32_t TagValue(const std::string& path, uint16_t tag);
void SetTagValue(const std::string& path, uint16_t tag, uint32_t value);
// Value `index` of a tag with several, such as one strip's offset, and
// changing it in place.
uint32_t TagValueAt(const std::string& path, uint16_t tag, int index);
void SetTagValueAt(const std::string& path, uint16_t tag, int index, uint32_t value);

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_TIFF_FIXTURES_H_
