#include "converter/oriented_frame.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "converter/orientation.h"
#include "converter/packed_columns.h"

namespace ostrel {
namespace {

// Display rows assembled at once from stored columns: each stored row is
// then read as one short run instead of one pixel per display row.
constexpr uint32_t kBlockColumns = 64;

uint64_t BitsOf(PixelForm form) {
  return form == PixelForm::kPackedBit ? 1 : form == PixelForm::kIndex ? 8 : 32;
}

size_t RowBytes(PixelForm form, uint32_t width) { return (width * BitsOf(form) + 7) / 8; }

// A packed byte's eight pixels as indices of one byte each, the first
// pixel first in memory when the value is copied out.
constexpr std::array<uint64_t, 256> UnpackedBytes() {
  std::array<uint64_t, 256> table{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    for (uint32_t i = 0; i < 8; ++i) {
      const uint64_t bit = (byte >> (7 - i)) & 1u;
      table[byte] |= bit << (std::endian::native == std::endian::little ? 8 * i : 8 * (7 - i));
    }
  }
  return table;
}
constexpr std::array<uint64_t, 256> kUnpacked = UnpackedBytes();

void Unpack(std::span<const uint8_t> packed, std::span<uint8_t> indices) {
  const size_t whole = indices.size() / 8;
  for (size_t i = 0; i < whole; ++i) {
    std::memcpy(indices.data() + i * 8, &kUnpacked[packed[i]], 8);
  }
  for (size_t x = whole * 8; x < indices.size(); ++x) {
    indices[x] = (packed[x / 8] >> (7 - x % 8)) & 1u;
  }
}

// An 8 x 8 matrix of bits, row i in byte 7 - i counted from the least
// significant, column j in bit 7 - j of each byte, reflected about its
// diagonal: afterwards byte 7 - j holds column j, row 0 first.
uint64_t TransposedBits(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
  return x ^ t ^ (t << 28);
}

// Copies each row it is given into the next row of a held block.
class HeldRows : public IndexedRowSink {
 public:
  HeldRows(std::vector<uint8_t>& held, size_t row_bytes) : held_(held), row_bytes_(row_bytes) {}
  void PutRow(std::span<const uint8_t> row) override {
    std::memcpy(held_.data() + rows_ * row_bytes_, row.data(), row_bytes_);
    ++rows_;
  }

 private:
  std::vector<uint8_t>& held_;
  size_t row_bytes_;
  size_t rows_ = 0;
};

// Stored rows put into display order: one row of the display at a time
// (orientations 1 to 4), or 64 (5 to 8).
class FrameTurner {
 public:
  FrameTurner(uint16_t orientation, const StoredFrame& frame, IndexedRowSink& display)
      : frame_(frame),
        display_(display),
        width_(frame.size.width),
        height_(frame.size.height),
        reversed_rows_(ReversesStoredRows(orientation)),
        reversed_columns_(ReversesStoredColumns(orientation)),
        pixel_bytes_(frame.form == PixelForm::kRgba ? 4 : 1) {}

  // Orientations 1 to 4: the stored rows of bands of `band_rows`, the
  // bottom band first when rows are reversed, each row as a display row.
  void PassRows(uint64_t most_held_bytes) {
    const size_t row_bytes = RowBytes(frame_.form, width_);
    display_row_.resize(size_t{width_} * pixel_bytes_);
    if (!reversed_rows_) {
      RowsAsShown rows(*this);
      frame_.rows({0, 0, width_, height_}, rows);
      return;
    }
    const auto band_rows =
        static_cast<uint32_t>(std::clamp<uint64_t>(most_held_bytes / row_bytes, 1, height_));
    std::vector<uint8_t> held(band_rows * row_bytes);
    for (uint32_t end = height_; end > 0;) {
      const uint32_t count = std::min(band_rows, end);
      end -= count;
      HeldRows band(held, row_bytes);
      frame_.rows({0, end, width_, count}, band);
      for (uint32_t i = count; i-- > 0;) {
        PutDisplayRow(std::span<const uint8_t>(held).subspan(i * row_bytes, row_bytes));
      }
    }
  }

  // Orientations 5 to 8: blocks of stored columns, as many as
  // `most_held_bytes` hold in multiples of 64, each turned 64 columns at a
  // time into display rows.
  void PassColumns(uint64_t most_held_bytes) {
    const uint64_t column_bits = uint64_t{height_} * BitsOf(frame_.form);
    uint64_t columns = most_held_bytes * 8 / column_bits / kBlockColumns * kBlockColumns;
    columns = std::max<uint64_t>(columns, kBlockColumns);
    if (RowBytes(frame_.form, width_) * height_ <= most_held_bytes) {
      columns = width_;
    }
    const auto block = static_cast<uint32_t>(std::min<uint64_t>(columns, width_));
    const size_t block_row_bytes = RowBytes(frame_.form, block);
    std::vector<uint8_t> held(block_row_bytes * height_);
    turned_.resize(size_t{std::min(kBlockColumns, width_)} * height_ * pixel_bytes_);
    const uint32_t blocks = (width_ + block - 1) / block;
    for (uint32_t n = 0; n < blocks; ++n) {
      // Blocks in display order: shown last first when columns are reversed.
      const uint32_t first = (reversed_columns_ ? blocks - 1 - n : n) * block;
      const uint32_t count = std::min(block, width_ - first);
      const size_t row_bytes = RowBytes(frame_.form, count);
      HeldRows rows(held, row_bytes);
      frame_.rows({first, 0, count, height_}, rows);
      const uint32_t parts = (count + kBlockColumns - 1) / kBlockColumns;
      for (uint32_t k = 0; k < parts; ++k) {
        const uint32_t start = (reversed_columns_ ? parts - 1 - k : k) * kBlockColumns;
        const uint32_t columns_turned = std::min(kBlockColumns, count - start);
        Turn(held, row_bytes, start, columns_turned);
        for (uint32_t i = 0; i < columns_turned; ++i) {
          const uint32_t j = reversed_columns_ ? columns_turned - 1 - i : i;
          display_.PutRow(std::span<const uint8_t>(turned_).subspan(
              size_t{j} * height_ * pixel_bytes_, size_t{height_} * pixel_bytes_));
        }
      }
    }
  }

 private:
  // Passes each stored row it is given on as a display row.
  class RowsAsShown : public IndexedRowSink {
   public:
    explicit RowsAsShown(FrameTurner& turner) : turner_(turner) {}
    void PutRow(std::span<const uint8_t> row) override { turner_.PutDisplayRow(row); }

   private:
    FrameTurner& turner_;
  };

  // A stored row as displayed: unpacked, and mirrored when columns are
  // reversed.
  void PutDisplayRow(std::span<const uint8_t> stored_row) {
    std::span<const uint8_t> shown = stored_row;
    if (frame_.form == PixelForm::kPackedBit) {
      Unpack(stored_row, display_row_);
      shown = display_row_;
    }
    if (reversed_columns_) {
      if (frame_.form == PixelForm::kRgba) {
        const size_t pixels = width_;
        for (size_t x = 0; x < pixels; ++x) {
          std::memcpy(display_row_.data() + (pixels - 1 - x) * 4, stored_row.data() + x * 4, 4);
        }
      } else if (frame_.form == PixelForm::kIndex) {
        std::reverse_copy(stored_row.begin(), stored_row.begin() + width_, display_row_.begin());
      } else {
        std::reverse(display_row_.begin(), display_row_.end());
      }
      shown = display_row_;
    }
    display_.PutRow(shown.first(size_t{width_} * pixel_bytes_));
  }

  // Display rows of held columns [start, start + count) into turned_, one
  // of height_ pixels a column, in stored column order.
  void Turn(const std::vector<uint8_t>& held, size_t row_bytes, uint32_t start, uint32_t count) {
    if (frame_.form == PixelForm::kPackedBit) {
      TurnBits(held, row_bytes, start, count);
    } else if (frame_.form == PixelForm::kIndex) {
      TurnPixels<uint8_t>(held, row_bytes, start, count);
    } else {
      TurnPixels<uint32_t>(held, row_bytes, start, count);
    }
  }

  template <typename Pixel>
  void TurnPixels(const std::vector<uint8_t>& held, size_t row_bytes, uint32_t start,
                  uint32_t count) {
    const size_t height = height_;
    for (uint32_t r = 0; r < height_; ++r) {
      const uint8_t* stored = held.data() + r * row_bytes + size_t{start} * sizeof(Pixel);
      const size_t x = reversed_rows_ ? height - 1 - r : r;
      for (uint32_t j = 0; j < count; ++j) {
        std::memcpy(turned_.data() + (j * height + x) * sizeof(Pixel), stored + j * sizeof(Pixel),
                    sizeof(Pixel));
      }
    }
  }

  // Eight stored rows at a time, eight columns from each: an 8 x 8 block
  // of bits reflected, each column's eight bits unpacked at once.
  void TurnBits(const std::vector<uint8_t>& held, size_t row_bytes, uint32_t start,
                uint32_t count) {
    const size_t height = height_;
    const size_t first_byte = start / 8;
    const uint32_t bytes = (count + 7) / 8;
    const uint32_t whole_rows = height_ / 8 * 8;
    for (uint32_t top = 0; top < whole_rows; top += 8) {
      const size_t x = reversed_rows_ ? height - 8 - top : top;
      for (uint32_t b = 0; b < bytes; ++b) {
        uint64_t block = 0;
        for (uint32_t i = 0; i < 8; ++i) {
          block = block << 8 | held[(top + i) * row_bytes + first_byte + b];
        }
        block = TransposedBits(block);
        for (uint32_t t = 0; t < 8 && b * 8 + t < count; ++t) {
          uint64_t column = kUnpacked[(block >> (56 - 8 * t)) & 0xff];
          if (reversed_rows_) {
            column = __builtin_bswap64(column);
          }
          std::memcpy(turned_.data() + (b * 8 + t) * height + x, &column, 8);
        }
      }
    }
    for (uint32_t r = whole_rows; r < height_; ++r) {
      const size_t x = reversed_rows_ ? height - 1 - r : r;
      for (uint32_t j = 0; j < count; ++j) {
        const uint32_t column = start + j;
        turned_[j * height + x] = (held[r * row_bytes + column / 8] >> (7 - column % 8)) & 1u;
      }
    }
  }

  const StoredFrame& frame_;
  IndexedRowSink& display_;
  const uint32_t width_;
  const uint32_t height_;
  const bool reversed_rows_;
  const bool reversed_columns_;
  const size_t pixel_bytes_;
  std::vector<uint8_t> display_row_;  // one display row being assembled
  std::vector<uint8_t> turned_;       // display rows of a block of stored columns
};

}  // namespace

void PassOrientedRows(uint16_t orientation, const StoredFrame& frame, uint64_t most_held_bytes,
                      IndexedRowSink& display) {
  if (frame.size.width == 0 || frame.size.height == 0) {
    return;
  }
  FrameTurner turner(orientation, frame, display);
  if (orientation >= 5) {
    turner.PassColumns(most_held_bytes);
  } else {
    turner.PassRows(most_held_bytes);
  }
}

RowsInWindow::RowsInWindow(const PixelRect& window, PixelForm form, IndexedRowSink& next)
    : window_(window), form_(form), next_(next) {}

void RowsInWindow::PutRow(std::span<const uint8_t> row) {
  const uint32_t y = row_++;
  if (y < window_.y || y >= window_.y + window_.height) {
    return;
  }
  if (form_ == PixelForm::kPackedBit) {
    next_.PutRow(PackedColumns(row, 1, window_.x, window_.width, shifted_));
  } else {
    const size_t pixel_bytes = form_ == PixelForm::kRgba ? 4 : 1;
    next_.PutRow(row.subspan(window_.x * pixel_bytes, size_t{window_.width} * pixel_bytes));
  }
}

}  // namespace ostrel
