#include "converter/gif_writer.h"

#include <algorithm>
#include <string>
#include <utility>

#include "converter/conversion_failure.h"
#include "converter/rgb.h"

namespace ostrel {
namespace {

constexpr size_t kFlushSize = size_t{64} * 1024;

// Bits of an index into `palette`'s colour table: at least 1.
int TableBits(const IndexedPalette& palette) {
  int bits = 1;
  while ((size_t{1} << bits) < palette.colors.size()) {
    ++bits;
  }
  return bits;
}

void PutWord(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xff));
  out.push_back(static_cast<char>(value >> 8));
}

// Everything before the image data: header, logical screen descriptor with
// the global colour table, graphics control extension, image descriptor.
std::string Preamble(ImageSize size, const IndexedPalette& palette) {
  const int bits = TableBits(palette);
  std::string out = "GIF89a";
  PutWord(out, size.width);
  PutWord(out, size.height);
  // A global colour table of 2^bits entries, of colours of 8 bits a channel;
  // background entry 0, no aspect ratio.
  out.push_back(static_cast<char>(0x80 | (7 << 4) | (bits - 1)));
  out.append({'\0', '\0'});
  for (size_t i = 0; i < (size_t{1} << bits); ++i) {
    const Rgb color = i < palette.colors.size() ? palette.colors[i] : Rgb{};
    out.push_back(static_cast<char>(color.red));
    out.push_back(static_cast<char>(color.green));
    out.push_back(static_cast<char>(color.blue));
  }
  if (palette.transparent_index) {
    // Block size 4; flags: transparent colour given; no delay.
    out.append({'\x21', '\xf9', '\x04', '\x01', '\0', '\0'});
    out.push_back(static_cast<char>(*palette.transparent_index));
    out.push_back('\0');
  }
  out.push_back('\x2c');
  PutWord(out, 0);
  PutWord(out, 0);
  PutWord(out, size.width);
  PutWord(out, size.height);
  out.push_back('\0');  // no local colour table, not interlaced
  return out;
}

}  // namespace

GifWriter::GifWriter(ImageSize size, const IndexedPalette& palette, ByteSink sink)
    : size_(size),
      sink_(std::move(sink)),
      buffer_(Preamble(size, palette)),
      // A GIF's LZW codes start at 2 bits of pixel even for two colours.
      encoder_(std::max(2, TableBits(palette)), buffer_) {
  buffer_.reserve(kFlushSize + 1024);
}

void GifWriter::FlushIfFull() {
  if (buffer_.size() >= kFlushSize) {
    sink_(buffer_);
    buffer_.clear();
  }
}

void GifWriter::PutRow(std::span<const uint8_t> indices) {
  encoder_.Put(indices.first(size_.width));
  ++rows_written_;
  FlushIfFull();
}

void GifWriter::Finish() {
  if (rows_written_ != size_.height) {
    throw ConversionError(ConversionFailure::kInternal,
                          "GIF encoder: " + std::to_string(rows_written_) + " rows of " +
                              std::to_string(size_.height) + " written");
  }
  encoder_.Finish();
  buffer_.push_back('\x3b');
  sink_(buffer_);
  buffer_.clear();
}

}  // namespace ostrel
