#include "tests/support/tiff_fixtures.h"

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <stdexcept>
#include <utility>

#include <tiffio.h>

#include "bench/source_image.h"

namespace ostrel::testing {
namespace {

void Require(bool ok, const std::string& what) {
  if (!ok) {
    throw std::runtime_error("fixture: " + what);
  }
}

uint32_t Mix(uint32_t value) {
  value ^= value >> 16;
  value *= 0x7feb352du;
  value ^= value >> 15;
  value *= 0x846ca68bu;
  return value ^ (value >> 16);
}

// One plane's rows as strips or tiles, `pixel_bits` a pixel.
void WritePlane(TIFF* tiff, const FixturePage& page, uint16_t plane,
                const std::vector<uint8_t>& samples, size_t row_bytes, uint32_t pixel_bits) {
  if (page.tile_width != 0) {
    const size_t tile_row_bytes = static_cast<size_t>(page.tile_width) * pixel_bits / 8;
    std::vector<uint8_t> tile(tile_row_bytes * page.tile_height);
    for (uint32_t top = 0; top < page.height; top += page.tile_height) {
      for (uint32_t left = 0; left < page.width; left += page.tile_width) {
        std::fill(tile.begin(), tile.end(), 0);
        const size_t offset = left * pixel_bits / 8;
        for (uint32_t row = 0; row < page.tile_height && top + row < page.height; ++row) {
          const size_t count = std::min(tile_row_bytes, row_bytes - offset);
          std::memcpy(tile.data() + row * tile_row_bytes,
                      samples.data() + (top + row) * row_bytes + offset, count);
        }
        Require(TIFFWriteTile(tiff, tile.data(), left, top, 0, plane) >= 0, "tile");
      }
    }
    return;
  }
  const uint32_t rows_per_strip = page.rows_per_strip != 0 ? page.rows_per_strip : page.height;
  const uint32_t strips = (page.height + rows_per_strip - 1) / rows_per_strip;
  for (uint32_t top = 0, strip = plane * strips; top < page.height;
       top += rows_per_strip, ++strip) {
    const uint32_t rows = std::min(rows_per_strip, page.height - top);
    std::vector<uint8_t> data;
    if (page.make_row) {
      data.assign(rows * row_bytes, 0);
      for (uint32_t row = 0; row < rows; ++row) {
        page.make_row(top + row, std::span<uint8_t>(data).subspan(row * row_bytes, row_bytes));
      }
    } else {
      const auto* first = samples.data() + top * row_bytes;
      data.assign(first, first + rows * row_bytes);
    }
    if (page.compression == COMPRESSION_OJPEG ||
        (page.old_style && page.compression == COMPRESSION_LZW)) {
      const std::vector<uint8_t> raw = page.compression == COMPRESSION_OJPEG
                                           ? GrayJpeg(page.width, rows, data)
                                           : OldStyleLzw(data);
      Require(TIFFWriteRawStrip(tiff, strip, const_cast<uint8_t*>(raw.data()),
                                static_cast<tmsize_t>(raw.size())) >= 0,
              "raw strip");
      continue;
    }
    Require(
        TIFFWriteEncodedStrip(tiff, strip, data.data(), static_cast<tmsize_t>(data.size())) >= 0,
        "strip");
  }
}

void WritePage(TIFF* tiff, const FixturePage& page) {
  Require(TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, page.width) != 0, "width");
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, page.bits_per_sample);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, page.samples_per_pixel);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, page.compression);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, page.ycbcr ? PHOTOMETRIC_YCBCR : page.photometric);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, page.orientation);
  if (!page.extra_samples.empty()) {
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(page.extra_samples.size()),
                 page.extra_samples.data());
  }
  if (!page.colormap.empty()) {
    const size_t entries = page.colormap.size() / 3;
    TIFFSetField(tiff, TIFFTAG_COLORMAP, page.colormap.data(), page.colormap.data() + entries,
                 page.colormap.data() + 2 * entries);
  }
  if (page.x_resolution > 0) {
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, page.x_resolution);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, page.y_resolution);
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  }
  if (page.compression == COMPRESSION_CCITTFAX3) {
    TIFFSetField(tiff, TIFFTAG_GROUP3OPTIONS, page.group3_options);
  }
  if (page.predictor != 1) {
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, page.predictor);
  }
  if (page.compression == COMPRESSION_JPEG) {
    if (page.jpeg_quality > 0) {
      TIFFSetField(tiff, TIFFTAG_JPEGQUALITY, page.jpeg_quality);
    }
    if (page.ycbcr) {
      TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
  }
  if (page.sample_format != SAMPLEFORMAT_UINT) {
    TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, page.sample_format);
  }
  if (page.smax > page.smin) {
    TIFFSetField(tiff, TIFFTAG_SMINSAMPLEVALUE, page.smin);
    TIFFSetField(tiff, TIFFTAG_SMAXSAMPLEVALUE, page.smax);
  }
  if (page.separate_planes) {
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
  }
  if (page.compression == COMPRESSION_SGILOG || page.compression == COMPRESSION_SGILOG24) {
    TIFFSetField(tiff, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT);
  }
  if (page.subsampled) {
    TIFFSetField(tiff, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, page.height);
    Require(TIFFWriteRawStrip(tiff, 0, const_cast<uint8_t*>(page.samples.data()),
                              static_cast<tmsize_t>(page.samples.size())) >= 0,
            "raw strip");
    Require(TIFFWriteDirectory(tiff) != 0, "directory");
    return;
  }
  const size_t row_bytes =
      (static_cast<size_t>(page.width) * page.bits_per_sample * page.samples_per_pixel + 7) / 8;
  Require(page.make_row ? page.tile_width == 0 && !page.separate_planes
                        : page.samples.size() == row_bytes * page.height,
          "sample count");
  if (page.tile_width != 0) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, page.tile_width);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, page.tile_height);
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP,
                 page.rows_per_strip != 0 ? page.rows_per_strip : page.height);
  }
  const uint16_t planes = page.separate_planes ? page.samples_per_pixel : 1;
  const uint16_t plane_samples = page.separate_planes ? 1 : page.samples_per_pixel;
  const size_t plane_row_bytes =
      (static_cast<size_t>(page.width) * page.bits_per_sample * plane_samples + 7) / 8;
  for (uint16_t plane = 0; plane < planes; ++plane) {
    std::vector<uint8_t> plane_data = page.samples;
    if (page.separate_planes) {
      const size_t size = page.bits_per_sample / 8;
      plane_data.clear();
      for (size_t at = plane * size; at < page.samples.size();
           at += size * page.samples_per_pixel) {
        plane_data.insert(plane_data.end(), page.samples.begin() + at,
                          page.samples.begin() + at + size);
      }
    }
    WritePlane(tiff, page, plane, plane_data, plane_row_bytes,
               static_cast<uint32_t>(page.bits_per_sample * plane_samples));
  }
  Require(TIFFWriteDirectory(tiff) != 0, "directory");
}

// The file's bytes and the offset of the value of `tag`'s entry in the
// first directory.
struct TagEntry {
  std::string bytes;
  size_t value_offset = 0;
  size_t value_size = 0;
};

// Value `index` of the tag; `index` -1 asks for a tag with exactly one.
TagEntry FindTag(const std::string& path, uint16_t tag, int index = -1) {
  TagEntry entry;
  std::ifstream file(path, std::ios::binary);
  entry.bytes.assign(std::istreambuf_iterator<char>(file), {});
  const std::string& bytes = entry.bytes;
  Require(bytes.size() > 8 && bytes.compare(0, 4, std::string("II*\0", 4)) == 0,
          "classic little-endian TIFF");
  const auto read = [&](size_t offset, size_t size) {
    uint32_t value = 0;
    Require(offset + size <= bytes.size(), "directory inside the file");
    std::memcpy(&value, bytes.data() + offset, size);
    return value;
  };
  const uint32_t directory = read(4, 4);
  for (uint32_t i = 0, count = read(directory, 2); i < count; ++i) {
    const size_t at = directory + 2 + 12 * i;
    if (read(at, 2) == tag) {
      const uint32_t values = read(at + 4, 4);
      Require(index < 0 ? values == 1 : static_cast<uint32_t>(index) < values, "the value");
      entry.value_size = read(at + 2, 2) == TIFF_SHORT ? 2 : 4;
      entry.value_offset = entry.value_size * values <= 4 ? at + 8 : read(at + 8, 4);
      entry.value_offset += entry.value_size * static_cast<size_t>(std::max(index, 0));
      return entry;
    }
  }
  throw std::runtime_error("fixture: no tag " + std::to_string(tag));
}

}  // namespace

void WriteTiff(const std::string& path, const std::vector<FixturePage>& pages) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  Require(tiff != nullptr, "open " + path);
  try {  // closes the file before the failure goes on
    for (const FixturePage& page : pages) {
      WritePage(tiff, page);
    }
  } catch (...) {
    TIFFClose(tiff);
    throw;
  }
  TIFFClose(tiff);
}

std::vector<uint8_t> OldStyleLzw(const std::vector<uint8_t>& data) {
  constexpr uint32_t kClear = 256;
  constexpr uint32_t kEnd = 257;
  constexpr uint32_t kFirstFree = 258;
  std::vector<uint8_t> out;
  uint64_t accumulator = 0;
  int filled = 0;
  int width = 9;
  uint32_t next_free = kFirstFree;
  const auto put = [&](uint32_t code) {
    accumulator |= uint64_t{code} << filled;
    for (filled += width; filled >= 8; filled -= 8) {
      out.push_back(static_cast<uint8_t>(accumulator));
      accumulator >>= 8;
    }
  };
  // The decoder adds each entry one code after the encoder, and widens its
  // codes once its table is full at the current width.
  const auto width_for = [](uint32_t free) {
    return free - 1 >= 2048 ? 12 : free - 1 >= 1024 ? 11 : free - 1 >= 512 ? 10 : 9;
  };
  std::map<std::pair<uint32_t, uint8_t>, uint32_t> table;
  put(kClear);
  uint32_t prefix = data.empty() ? kEnd : data[0];
  for (size_t i = 1; i < data.size(); ++i) {
    const auto found = table.find({prefix, data[i]});
    if (found != table.end()) {
      prefix = found->second;
      continue;
    }
    width = next_free == kFirstFree ? 9 : width_for(next_free);
    put(prefix);
    if (next_free >= 4000) {  // the table is nearly full: start again
      put(kClear);
      table.clear();
      next_free = kFirstFree;
      width = 9;
    } else {
      table[{prefix, data[i]}] = next_free++;
    }
    prefix = data[i];
  }
  if (!data.empty()) {
    width = next_free == kFirstFree ? 9 : width_for(next_free);
    put(prefix);
  }
  width = width_for(next_free + 1);
  put(kEnd);
  if (filled > 0) {
    out.push_back(static_cast<uint8_t>(accumulator));
  }
  return out;
}

std::vector<uint8_t> GrayJpeg(uint32_t width, uint32_t height,
                              const std::vector<uint8_t>& samples) {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  compressor.err = jpeg_std_error(&errors);
  jpeg_create_compress(&compressor);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&compressor, &buffer, &size);
  compressor.image_width = width;
  compressor.image_height = height;
  compressor.input_components = 1;
  compressor.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&compressor);
  jpeg_set_quality(&compressor, 90, TRUE);
  jpeg_start_compress(&compressor, TRUE);
  for (uint32_t row = 0; row < height; ++row) {
    JSAMPROW line = const_cast<uint8_t*>(samples.data()) + size_t{row} * width;
    jpeg_write_scanlines(&compressor, &line, 1);
  }
  jpeg_finish_compress(&compressor);
  jpeg_destroy_compress(&compressor);
  std::vector<uint8_t> stream(buffer, buffer + size);
  std::free(buffer);
  return stream;
}

std::vector<uint8_t> DecodeJpeg(const std::vector<uint8_t>& stream) {
  jpeg_decompress_struct decompressor{};
  jpeg_error_mgr errors{};
  decompressor.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&decompressor);
  jpeg_mem_src(&decompressor, stream.data(), stream.size());
  jpeg_read_header(&decompressor, TRUE);
  jpeg_start_decompress(&decompressor);
  const size_t row_size = size_t{decompressor.output_width} * decompressor.output_components;
  std::vector<uint8_t> samples(row_size * decompressor.output_height);
  while (decompressor.output_scanline < decompressor.output_height) {
    JSAMPROW line = samples.data() + decompressor.output_scanline * row_size;
    jpeg_read_scanlines(&decompressor, &line, 1);
  }
  jpeg_finish_decompress(&decompressor);
  jpeg_destroy_decompress(&decompressor);
  return samples;
}

// The bits of `value` as a float of 1 sign bit, `exponent_bits` and
// `fraction_bits` (IEEE half precision: 5 and 10); `value` must be exact.
static uint32_t SmallFloatBits(double value, int exponent_bits, int fraction_bits) {
  if (value == 0) {
    return 0;
  }
  const uint32_t sign = value < 0 ? 1u << (exponent_bits + fraction_bits) : 0;
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);  // value = fraction * 2^exponent
  const int bias = (1 << (exponent_bits - 1)) - 1;
  const auto stored_fraction = static_cast<uint32_t>(std::ldexp(fraction * 2 - 1, fraction_bits));
  return sign | static_cast<uint32_t>(exponent - 1 + bias) << fraction_bits | stored_fraction;
}

// `values` as stored samples of `bits` bits of `format`, rows of `row_samples`.
std::vector<uint8_t> EncodeSamples(const std::vector<double>& values, int bits, uint16_t format,
                                   uint32_t row_samples) {
  if (format == SAMPLEFORMAT_IEEEFP) {
    if (bits == 32) {
      return NativeBytes<float>(values);
    }
    if (bits == 64) {
      return NativeBytes<double>(values);
    }
    std::vector<uint32_t> packed;
    for (const double value : values) {
      packed.push_back(bits == 16 ? SmallFloatBits(value, 5, 10) : SmallFloatBits(value, 7, 16));
    }
    std::vector<uint8_t> bytes;
    for (const uint32_t value : packed) {  // little-endian host: the low bytes first
      const auto* first = reinterpret_cast<const uint8_t*>(&value);
      bytes.insert(bytes.end(), first, first + bits / 8);
    }
    return bytes;
  }
  if (bits == 32) {
    return format == SAMPLEFORMAT_INT ? NativeBytes<int32_t>(values)
                                      : NativeBytes<uint32_t>(values);
  }
  if (bits == 16) {
    return format == SAMPLEFORMAT_INT ? NativeBytes<int16_t>(values)
                                      : NativeBytes<uint16_t>(values);
  }
  std::vector<uint16_t> levels(values.begin(), values.end());
  return PackSamples(levels, bits, row_samples);
}

std::vector<uint8_t> PackSamples(const std::vector<uint16_t>& values, int bits,
                                 uint32_t row_samples) {
  std::vector<uint8_t> packed;
  for (size_t start = 0; start < values.size(); start += row_samples) {
    if (bits == 16) {
      for (size_t i = start; i < start + row_samples; ++i) {
        uint8_t bytes[2];
        std::memcpy(bytes, &values[i], 2);
        packed.insert(packed.end(), bytes, bytes + 2);
      }
      continue;
    }
    uint32_t accumulator = 0;
    int filled = 0;
    for (size_t i = start; i < start + row_samples; ++i) {
      accumulator = accumulator << bits | values[i];
      for (filled += bits; filled >= 8; filled -= 8) {
        packed.push_back(static_cast<uint8_t>(accumulator >> (filled - 8)));
      }
      accumulator &= (1u << filled) - 1;
    }
    if (filled != 0) {
      packed.push_back(static_cast<uint8_t>(accumulator << (8 - filled)));
    }
  }
  return packed;
}

std::vector<uint16_t> PatternSamples(uint32_t count, uint32_t levels, uint32_t seed) {
  std::vector<uint16_t> values(count);
  for (uint32_t i = 0; i < count; ++i) {
    // Runs of equal values (as in scans) broken by noise.
    const uint32_t run = i / (1 + Mix(seed + i / 7) % 9);
    values[i] = static_cast<uint16_t>((i % 3 == 0 ? Mix(seed ^ i) : Mix(seed + run)) % levels);
  }
  return values;
}

std::vector<uint8_t> PhotoSamples(uint32_t width, uint32_t height) {
  std::vector<uint8_t> samples;
  samples.reserve(static_cast<size_t>(width) * height * 3);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width;
      const double v = static_cast<double>(y) / height;
      const double noise = static_cast<double>(Mix(y * 7919 + x) % 17) - 8;
      const double channels[3] = {
          128 + 100 * std::sin(6 * u + 2 * v) + noise,
          128 + 90 * std::cos(5 * v - 3 * u * v) + noise,
          128 + 110 * std::sin(4 * (u + v) + 1) * std::cos(3 * u) + noise,
      };
      for (const double channel : channels) {
        samples.push_back(static_cast<uint8_t>(std::clamp(channel, 0.0, 255.0)));
      }
    }
  }
  return samples;
}

bool FaxLinesBlack(uint32_t x, uint32_t y) {
  const bool corner = x < 300 && y < 200;
  const bool across = y % 512 < 2;
  const bool down = x % 2048 < 3;
  const bool diagonal = x / 16 >= y && x / 16 < y + 3;
  return corner || across || down || diagonal;
}

FixturePage FaxLinesPage(uint32_t height) {
  return FixturePage{.width = 65535,
                     .height = height,
                     .bits_per_sample = 1,
                     .photometric = PHOTOMETRIC_MINISWHITE,
                     .compression = COMPRESSION_CCITTFAX4,
                     .make_row = [](uint32_t y, std::span<uint8_t> bytes) {
                       for (uint32_t x = 0; x < 65535; ++x) {
                         if (FaxLinesBlack(x, y)) {
                           bytes[x / 8] |= static_cast<uint8_t>(0x80u >> (x % 8));
                         }
                       }
                     }};
}

FixturePage SmoothColorPage(uint32_t width, uint32_t height) {
  return FixturePage{.width = width,
                     .height = height,
                     .samples_per_pixel = 3,
                     .photometric = PHOTOMETRIC_RGB,
                     .compression = COMPRESSION_ZSTD,
                     .rows_per_strip = 64,
                     .predictor = PREDICTOR_HORIZONTAL,
                     .make_row = [width, height](uint32_t y, std::span<uint8_t> bytes) {
                       for (uint32_t x = 0; x < width; ++x) {
                         bytes[x * 3] = static_cast<uint8_t>(uint64_t{x} * 256 / width);
                         bytes[x * 3 + 1] = static_cast<uint8_t>(uint64_t{y} * 256 / height);
                         bytes[x * 3 + 2] = static_cast<uint8_t>(uint64_t{x} * 128 / width +
                                                                 uint64_t{y} * 128 / height);
                       }
                     }};
}

std::vector<uint32_t> LibtiffRgba(const std::string& path, int page) {
  return bench::RenderTiff(path, page).rgba;
}

uint32_t TagValue(const std::string& path, uint16_t tag) {
  const TagEntry entry = FindTag(path, tag);
  uint32_t value = 0;
  std::memcpy(&value, entry.bytes.data() + entry.value_offset, entry.value_size);
  return value;
}

void SetTagValue(const std::string& path, uint16_t tag, uint32_t value) {
  TagEntry entry = FindTag(path, tag);
  if (entry.value_size == 2 && value > 0xffff) {
    // A SHORT too small for the value becomes a LONG: both fit in the entry.
    const uint16_t long_type = TIFF_LONG;
    std::memcpy(entry.bytes.data() + entry.value_offset - 6, &long_type, 2);
    entry.value_size = 4;
  }
  std::memcpy(entry.bytes.data() + entry.value_offset, &value, entry.value_size);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << entry.bytes;
}

uint32_t TagValueAt(const std::string& path, uint16_t tag, int index) {
  const TagEntry entry = FindTag(path, tag, index);
  uint32_t value = 0;
  std::memcpy(&value, entry.bytes.data() + entry.value_offset, entry.value_size);
  return value;
}

void SetTagValueAt(const std::string& path, uint16_t tag, int index, uint32_t value) {
  const TagEntry entry = FindTag(path, tag, index);
  Require(entry.value_size == 4 || value <= 0xffff, "a value that fits");
  std::string bytes = entry.bytes;
  std::memcpy(bytes.data() + entry.value_offset, &value, entry.value_size);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace ostrel::testing
