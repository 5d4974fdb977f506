#include "converter/oriented_frame.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "converter/image_size.h"
#include "converter/orientation.h"

namespace ostrel {
namespace {

using Grid = std::vector<std::vector<uint32_t>>;

// Display pixel (x, y) of stored row r, column c, as the tag defines it.
Grid Displayed(uint16_t orientation, const Grid& stored) {
  const auto height = static_cast<uint32_t>(stored.size());
  const auto width = static_cast<uint32_t>(stored[0].size());
  const ImageSize shown = DisplaySize(orientation, {width, height});
  Grid display(shown.height, std::vector<uint32_t>(shown.width));
  for (uint32_t r = 0; r < height; ++r) {
    for (uint32_t c = 0; c < width; ++c) {
      const uint32_t across[9] = {
          0, c, width - 1 - c, width - 1 - c, c, r, height - 1 - r, height - 1 - r, r};
      const uint32_t down[9] = {
          0, r, r, height - 1 - r, height - 1 - r, c, c, width - 1 - c, width - 1 - c};
      display[down[orientation]][across[orientation]] = stored[r][c];
    }
  }
  return display;
}

// A frame that gives the rows of `stored` in `form` and records each part
// asked for.
struct RecordedFrame {
  RecordedFrame(const Grid& grid, PixelForm pixel_form) : stored(grid), form(pixel_form) {}

  StoredFrame Frame() {
    return StoredFrame{
        .size = {static_cast<uint32_t>(stored[0].size()), static_cast<uint32_t>(stored.size())},
        .form = form,
        .rows = [this](const PixelRect& window, IndexedRowSink& rows) {
          parts.push_back(window);
          for (uint32_t y = window.y; y < window.y + window.height; ++y) {
            std::vector<uint8_t> bytes;
            for (uint32_t x = 0; x < window.width; ++x) {
              const uint32_t value = stored[y][window.x + x];
              if (form == PixelForm::kPackedBit) {
                bytes.resize((window.width + 7) / 8, 0xff);  // padding bits set
                const auto bit = static_cast<uint8_t>(0x80u >> (x % 8));
                bytes[x / 8] =
                    static_cast<uint8_t>(value != 0 ? bytes[x / 8] | bit : bytes[x / 8] & ~bit);
              } else if (form == PixelForm::kIndex) {
                bytes.push_back(static_cast<uint8_t>(value));
              } else {
                bytes.resize(bytes.size() + 4);
                std::memcpy(bytes.data() + bytes.size() - 4, &value, 4);
              }
            }
            rows.PutRow(bytes);
          }
        }};
  }

  const Grid& stored;
  PixelForm form;
  std::vector<PixelRect> parts;
};

struct DisplaySink : IndexedRowSink {
  explicit DisplaySink(PixelForm pixel_form) : form(pixel_form) {}
  void PutRow(std::span<const uint8_t> row) override {
    std::vector<uint32_t>& shown = rows.emplace_back();
    if (form == PixelForm::kRgba) {
      shown.resize(row.size() / 4);
      std::memcpy(shown.data(), row.data(), row.size());
    } else {
      shown.assign(row.begin(), row.end());
    }
  }
  PixelForm form;
  Grid rows;
};

uint64_t PartBytes(PixelForm form, const PixelRect& part) {
  const uint64_t bits = form == PixelForm::kPackedBit ? 1 : form == PixelForm::kIndex ? 8 : 32;
  return (part.width * bits + 7) / 8 * part.height;
}

TEST(OrientedFrameTest, EveryPartOfEveryFormIsShownAsTheTagSaysWithinTheBound) {
  const struct {
    ImageSize size;
    PixelForm form;
  } frames[] = {
      // More than two blocks of 64 columns, and rows not a multiple of 8.
      {{150, 21}, PixelForm::kPackedBit}, {{9, 130}, PixelForm::kPackedBit},
      {{1, 1}, PixelForm::kPackedBit},    {{70, 3}, PixelForm::kIndex},
      {{130, 5}, PixelForm::kRgba},
  };
  for (const auto& f : frames) {
    Grid stored(f.size.height, std::vector<uint32_t>(f.size.width));
    for (uint32_t y = 0; y < f.size.height; ++y) {
      for (uint32_t x = 0; x < f.size.width; ++x) {
        const uint32_t value = y * 1000 + x + 1;
        stored[y][x] = f.form == PixelForm::kPackedBit ? (x * 3 + y * 5 + x * y) % 7 < 3
                       : f.form == PixelForm::kIndex   ? value % 251
                                                       : value * 0x9e3779b1u;
      }
    }
    const uint64_t whole = PartBytes(f.form, {0, 0, f.size.width, f.size.height});
    // Nothing, so that the least is held; a few rows' or columns' worth;
    // the whole frame.
    for (const uint64_t bound : {uint64_t{0}, whole / 3, whole}) {
      for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
        const std::string trace =
            std::to_string(f.size.width) + " x " + std::to_string(f.size.height) + ", bound " +
            std::to_string(bound) + ", orientation " + std::to_string(orientation);
        RecordedFrame recorded(stored, f.form);
        DisplaySink sink(f.form);
        PassOrientedRows(orientation, recorded.Frame(), bound, sink);
        EXPECT_EQ(sink.rows, Displayed(orientation, stored)) << trace;
        // Each part asked for within the frame and, where it is held, within
        // the bound, or the least part: one stored row, or a block of 64
        // stored columns. Orientations 1 and 2 hold nothing.
        uint64_t pixels = 0;
        for (const PixelRect& part : recorded.parts) {
          EXPECT_LE(part.x + part.width, f.size.width) << trace;
          EXPECT_LE(part.y + part.height, f.size.height) << trace;
          const bool least = orientation <= 2   ? true
                             : orientation >= 5 ? part.width <= 64
                                                : part.height == 1;
          EXPECT_TRUE(PartBytes(f.form, part) <= bound || least) << trace;
          pixels += uint64_t{part.width} * part.height;
        }
        // Every pixel read once; the whole frame at once where the bound
        // holds it, or where nothing need be held.
        EXPECT_EQ(pixels, uint64_t{f.size.width} * f.size.height) << trace;
        if (bound == whole || orientation <= 2) {
          EXPECT_EQ(recorded.parts.size(), 1u) << trace;
        }
      }
    }
  }
}

TEST(OrientedFrameTest, RowsInWindowPassesOnThePartAskedFor) {
  const PixelRect window{3, 1, 10, 2};
  const struct {
    PixelForm form;
    size_t row_bytes;
    std::vector<std::vector<uint8_t>> want;
  } cases[] = {
      // Columns 3 to 12 of 16 bits 0110 1011 0011 1100, shifted to start
      // on a byte.
      {PixelForm::kPackedBit, 2, {{0x59, 0xc0}, {0x59, 0xc0}}},
      {PixelForm::kIndex,
       16,
       {{19, 20, 21, 22, 23, 24, 25, 26, 27, 28}, {35, 36, 37, 38, 39, 40, 41, 42, 43, 44}}},
  };
  for (const auto& c : cases) {
    std::vector<std::vector<uint8_t>> seen;
    struct : IndexedRowSink {
      void PutRow(std::span<const uint8_t> row) override {
        seen->emplace_back(row.begin(), row.end());
      }
      std::vector<std::vector<uint8_t>>* seen;
    } next;
    next.seen = &seen;
    RowsInWindow part(window, c.form, next);
    for (uint8_t y = 0; y < 4 && !part.done(); ++y) {
      std::vector<uint8_t> row(c.row_bytes);
      for (size_t i = 0; i < row.size(); ++i) {
        row[i] = c.form == PixelForm::kPackedBit ? (i == 0 ? 0x6b : 0x3c)
                                                 : static_cast<uint8_t>(y * 16 + i);
      }
      part.PutRow(row);
    }
    EXPECT_TRUE(part.done());
    // The first bits of the shifted copy are the window's; what follows
    // the tenth is padding.
    if (c.form == PixelForm::kPackedBit) {
      for (auto& row : seen) {
        row[1] &= 0xc0;
      }
    }
    EXPECT_EQ(seen, c.want);
  }
}

}  // namespace
}  // namespace ostrel
