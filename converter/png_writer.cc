#include "converter/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include "converter/conversion_failure.h"
#include "converter/rgb.h"
#include "converter/rgba_pixel.h"

namespace ostrel {
namespace {

constexpr size_t kFlushSize = size_t{64} * 1024;

// The smallest PNG depth whose indices reach `entries` entries.
int DepthFor(size_t entries) { return entries <= 2 ? 1 : entries <= 4 ? 2 : entries <= 16 ? 4 : 8; }

}  // namespace

struct PngWriter::Codec {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~Codec() { png_destroy_write_struct(&png, &info); }
};

// libpng calls these back; an error must not return, and nothing C++
// raises may pass through libpng's frames: it is kept, and libpng's own
// error jump taken instead.
struct PngCallbacks {
  static void OnWrite(png_structp png, png_bytep data, size_t length) {
    auto* writer = static_cast<PngWriter*>(png_get_io_ptr(png));
    bool failed = false;
    try {
      writer->buffer_.append(reinterpret_cast<const char*>(data), length);
    } catch (...) {  // kept for Call to raise once libpng has jumped out
      writer->raised_ = std::current_exception();
      failed = true;
    }
    if (failed) {
      png_error(png, "cannot hold the PNG's bytes");
    }
  }
  static void OnFlush(png_structp /*png*/) {}
  static void OnError(png_structp png, png_const_charp message) {
    auto* writer = static_cast<PngWriter*>(png_get_error_ptr(png));
    std::snprintf(writer->error_.data(), writer->error_.size(), "%s", message);
    png_longjmp(png, 1);
  }
  // Warnings say nothing about the pixels, and standard error is the
  // converter's report.
  static void OnWarning(png_structp /*png*/, png_const_charp /*message*/) {}
};

namespace {

// Runs `step` under libpng's error jump; false when libpng jumped out of
// it. `step` holds no object with a destructor, which the jump would skip.
template <typename Step>
bool JumpGuarded(png_structp png, const Step& step) noexcept {
  if (setjmp(png_jmpbuf(png)) != 0) {
    return false;
  }
  step();
  return true;
}

}  // namespace

PngWriter::PngWriter(ImageSize size, ByteSink sink)
    : size_(size), sink_(std::move(sink)), codec_(std::make_unique<Codec>()) {
  codec_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, PngCallbacks::OnError,
                                        PngCallbacks::OnWarning);
  if (codec_->png != nullptr) {
    codec_->info = png_create_info_struct(codec_->png);
  }
  if (codec_->info == nullptr) {
    throw ConversionError(ConversionFailure::kOutOfMemory, "PNG encoder: out of memory");
  }
  png_set_write_fn(codec_->png, this, PngCallbacks::OnWrite, PngCallbacks::OnFlush);
  buffer_.reserve(kFlushSize + 1024);
}

PngWriter::~PngWriter() = default;

template <typename Step>
void PngWriter::Call(const Step& step) {
  if (!JumpGuarded(codec_->png, step)) {
    RaiseFailure();
  }
}

void PngWriter::RaiseFailure() {
  if (raised_) {
    std::rethrow_exception(raised_);
  }
  const std::string message = error_.data();
  if (message.find("memory") != std::string::npos) {
    throw ConversionError(ConversionFailure::kOutOfMemory, "PNG encoder: " + message);
  }
  throw ConversionError(ConversionFailure::kInternal, "PNG encoder: " + message);
}

std::unique_ptr<PngWriter> PngWriter::Indexed(ImageSize size, const IndexedPalette& palette,
                                              ByteSink sink) {
  std::unique_ptr<PngWriter> writer(new PngWriter(size, std::move(sink)));
  const size_t entries = std::max<size_t>(palette.colors.size(), 1);
  const int depth = DepthFor(entries);
  const int step = 255 / ((1 << depth) - 1);
  const bool transparent =
      palette.transparent_index.has_value() ||
      std::any_of(palette.alpha.begin(), palette.alpha.end(), [](uint8_t a) { return a != 255; });
  bool gray = !transparent;
  for (size_t i = 0; gray && i < palette.colors.size(); ++i) {
    const Rgb& color = palette.colors[i];
    gray = color.red == color.green && color.green == color.blue && color.red % step == 0;
    writer->levels_[i] = static_cast<uint8_t>(color.red / step);
  }
  if (gray) {
    writer->input_ = Input::kGrayLevels;
    writer->row_.resize(size.width);
    writer->Start(depth, PNG_COLOR_TYPE_GRAY, nullptr);
  } else {
    writer->input_ = Input::kIndices;
    writer->Start(depth, PNG_COLOR_TYPE_PALETTE, &palette);
  }
  return writer;
}

std::unique_ptr<PngWriter> PngWriter::TrueColor(ImageSize size, bool transparent, ByteSink sink) {
  std::unique_ptr<PngWriter> writer(new PngWriter(size, std::move(sink)));
  writer->input_ = transparent ? Input::kRgba : Input::kRgb;
  writer->row_.resize(size_t{size.width} * (transparent ? 4 : 3));
  writer->Start(8, transparent ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, nullptr);
  return writer;
}

void PngWriter::Start(int bit_depth, int color_type, const IndexedPalette* palette) {
  png_color colors[256] = {};
  png_byte alpha[256] = {};
  int entries = 0;
  int alpha_entries = 0;
  if (palette != nullptr) {
    entries = static_cast<int>(std::min<size_t>(palette->colors.size(), 256));
    for (int i = 0; i < entries; ++i) {
      colors[i] = {palette->colors[i].red, palette->colors[i].green, palette->colors[i].blue};
      alpha[i] = 255;
      if (static_cast<size_t>(i) < palette->alpha.size()) {
        alpha[i] = palette->alpha[i];
      } else if (palette->transparent_index == i) {
        alpha[i] = 0;
      }
      // tRNS lists the entries up to the last that is not opaque.
      if (alpha[i] != 255) {
        alpha_entries = i + 1;
      }
    }
  }
  png_structp png = codec_->png;
  png_infop info = codec_->info;
  const ImageSize size = size_;
  Call([png, info, size, bit_depth, color_type, &colors, entries, &alpha, alpha_entries] {
    png_set_IHDR(png, info, size.width, size.height, bit_depth, color_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (entries > 0) {
      png_set_PLTE(png, info, colors, entries);
    }
    if (alpha_entries > 0) {
      png_set_tRNS(png, info, alpha, alpha_entries, nullptr);
    }
    if (bit_depth == 8) {
      // Scans and photographs: each row as libpng's filters predict it
      // best, runs of one byte deflated. Measured on A4 gray scans and
      // photographs, four to seven times faster than libpng's default
      // (level 6, Z_FILTERED) at about its size. Fewer bits (documents)
      // keep the default, unfiltered, which is smaller there.
      png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
      png_set_compression_strategy(png, Z_RLE);
    }
    png_write_info(png, info);
    if (bit_depth < 8) {
      png_set_packing(png);  // rows of one sample a byte, packed by libpng
    }
  });
  FlushIfFull();
}

void PngWriter::PutRow(std::span<const uint8_t> row) {
  const png_byte* data = row_.data();
  const size_t width = size_.width;
  switch (input_) {
    case Input::kIndices:
      data = row.data();
      break;
    case Input::kGrayLevels:
      for (size_t x = 0; x < width; ++x) {
        row_[x] = levels_[row[x]];
      }
      break;
    case Input::kRgb:
      for (size_t x = 0; x < width; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, row.data() + 4 * x, sizeof pixel);
        row_[3 * x] = static_cast<uint8_t>(pixel);
        row_[3 * x + 1] = static_cast<uint8_t>(pixel >> 8);
        row_[3 * x + 2] = static_cast<uint8_t>(pixel >> 16);
      }
      break;
    case Input::kRgba:
      for (size_t x = 0; x < width; ++x) {
        uint32_t pixel;
        std::memcpy(&pixel, row.data() + 4 * x, sizeof pixel);
        const Rgba color = Unpremultiplied(pixel);
        row_[4 * x] = color.red;
        row_[4 * x + 1] = color.green;
        row_[4 * x + 2] = color.blue;
        row_[4 * x + 3] = color.alpha;
      }
      break;
  }
  png_structp png = codec_->png;
  Call([png, data] { png_write_row(png, data); });
  ++rows_written_;
  FlushIfFull();
}

void PngWriter::Finish() {
  if (rows_written_ != size_.height) {
    throw ConversionError(ConversionFailure::kInternal,
                          "PNG encoder: " + std::to_string(rows_written_) + " rows of " +
                              std::to_string(size_.height) + " written");
  }
  png_structp png = codec_->png;
  Call([png] { png_write_end(png, nullptr); });
  sink_(buffer_);
  buffer_.clear();
}

void PngWriter::FlushIfFull() {
  if (buffer_.size() >= kFlushSize) {
    sink_(buffer_);
    buffer_.clear();
  }
}

}  // namespace ostrel
