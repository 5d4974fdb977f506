#include "converter/orientation.h"

#include <algorithm>
#include <cstring>

namespace ostrel {
namespace {

// Display rows assembled at once from a transposed frame: each stored row
// is then read as one short run instead of one byte per display row.
constexpr uint32_t kTransposeBlock = 64;

// Each orientation as three choices: whether display rows are stored
// columns (5 to 8), and whether stored rows and stored columns are taken
// in reverse. Indexed by orientation - 1.
struct Placement {
  bool transposed;
  bool reversed_rows;
  bool reversed_columns;
  bool operator==(const Placement&) const = default;
};
constexpr Placement kPlacements[8] = {
    {false, false, false}, {false, false, true}, {false, true, true}, {false, true, false},
    {true, false, false},  {true, true, false},  {true, true, true},  {true, false, true}};

}  // namespace

uint16_t TurnedClockwise(uint16_t orientation, uint16_t degrees) {
  Placement placement = kPlacements[orientation - 1];
  for (uint16_t turned = 0; turned < degrees; turned += 90) {
    // A quarter turn clockwise: the new top row is the old left column read
    // upwards, so the old display's rows, reversed, become columns.
    placement = placement.transposed
                    ? Placement{false, placement.reversed_rows, !placement.reversed_columns}
                    : Placement{true, !placement.reversed_rows, placement.reversed_columns};
  }
  for (uint16_t candidate = 1; candidate <= 8; ++candidate) {
    if (kPlacements[candidate - 1] == placement) {
      return candidate;
    }
  }
  return 1;  // not reached: the eight placements are all there are
}

uint16_t Mirrored(uint16_t orientation) {
  Placement placement = kPlacements[orientation - 1];
  // Display columns are stored columns, or stored rows when transposed.
  if (placement.transposed) {
    placement.reversed_rows = !placement.reversed_rows;
  } else {
    placement.reversed_columns = !placement.reversed_columns;
  }
  for (uint16_t candidate = 1; candidate <= 8; ++candidate) {
    if (kPlacements[candidate - 1] == placement) {
      return candidate;
    }
  }
  return 1;  // not reached
}

bool ReversesStoredRows(uint16_t orientation) { return kPlacements[orientation - 1].reversed_rows; }

bool ReversesStoredColumns(uint16_t orientation) {
  return kPlacements[orientation - 1].reversed_columns;
}

PixelRect StoredRect(uint16_t orientation, ImageSize stored, PixelRect shown) {
  const Placement placement = kPlacements[orientation - 1];
  PixelRect rect =
      placement.transposed ? PixelRect{shown.y, shown.x, shown.height, shown.width} : shown;
  if (placement.reversed_columns) {
    rect.x = stored.width - rect.x - rect.width;
  }
  if (placement.reversed_rows) {
    rect.y = stored.height - rect.y - rect.height;
  }
  return rect;
}

ImageSize DisplaySize(uint16_t orientation, ImageSize stored) {
  return orientation >= 5 ? ImageSize{stored.height, stored.width} : stored;
}

OrientedRows::OrientedRows(uint16_t orientation, ImageSize stored, IndexedRowSink& display)
    : orientation_(orientation), stored_(stored), display_(display) {
  if (orientation_ >= 3) {
    frame_.resize(static_cast<size_t>(stored.width) * stored.height);
  }
  if (orientation_ == 2 || orientation_ == 3) {
    scratch_.resize(stored.width);
  } else if (orientation_ >= 5) {
    scratch_.resize(static_cast<size_t>(std::min(kTransposeBlock, stored.width)) * stored.height);
  }
}

void OrientedRows::PutRow(std::span<const uint8_t> stored_row) {
  if (orientation_ == 1) {
    display_.PutRow(stored_row);
  } else if (orientation_ == 2) {
    std::reverse_copy(stored_row.begin(), stored_row.end(), scratch_.begin());
    display_.PutRow(scratch_);
  } else {
    std::memcpy(frame_.data() + static_cast<size_t>(rows_received_) * stored_.width,
                stored_row.data(), stored_.width);
  }
  if (++rows_received_ == stored_.height && orientation_ >= 3) {
    if (orientation_ >= 5) {
      PassTransposedFrameOn();
    } else {
      PassFrameOn();
    }
  }
}

// 3: bottom row first, each row mirrored (turned half way); 4: bottom row
// first (flipped).
void OrientedRows::PassFrameOn() {
  const size_t width = stored_.width;
  for (uint32_t row = stored_.height; row-- > 0;) {
    const std::span<const uint8_t> stored_row(frame_.data() + row * width, width);
    if (orientation_ == 3) {
      std::reverse_copy(stored_row.begin(), stored_row.end(), scratch_.begin());
      display_.PutRow(std::span<const uint8_t>(scratch_.data(), width));
    } else {
      display_.PutRow(stored_row);
    }
  }
}

// Display pixel (x, y) shows stored row r, column c, for a stored image W
// pixels wide and H high:
//   5: r = x,         c = y          the stored image transposed
//   6: r = H - 1 - x, c = y          turned a quarter clockwise
//   7: r = H - 1 - x, c = W - 1 - y  transposed across the other diagonal
//   8: r = x,         c = W - 1 - y  turned a quarter counterclockwise
void OrientedRows::PassTransposedFrameOn() {
  const uint32_t width = stored_.width;
  const uint32_t height = stored_.height;
  const bool reversed_rows = orientation_ == 6 || orientation_ == 7;
  const bool reversed_columns = orientation_ == 7 || orientation_ == 8;
  for (uint32_t first = 0; first < width; first += kTransposeBlock) {
    const uint32_t count = std::min(kTransposeBlock, width - first);
    for (uint32_t r = 0; r < height; ++r) {
      const uint8_t* stored_row = frame_.data() + static_cast<size_t>(r) * width;
      const uint32_t x = reversed_rows ? height - 1 - r : r;
      for (uint32_t j = 0; j < count; ++j) {
        const uint32_t y = first + j;
        const uint32_t c = reversed_columns ? width - 1 - y : y;
        scratch_[static_cast<size_t>(j) * height + x] = stored_row[c];
      }
    }
    for (uint32_t j = 0; j < count; ++j) {
      display_.PutRow(
          std::span<const uint8_t>(scratch_.data() + static_cast<size_t>(j) * height, height));
    }
  }
}

void PassOrientedRgbaRows(uint16_t orientation, const RgbaBands& bands, uint64_t most_block_pixels,
                          IndexedRowSink& display) {
  const Placement placement = kPlacements[orientation - 1];
  const size_t width = bands.stored.width;
  const uint32_t height = bands.stored.height;
  const uint32_t band_rows = bands.band_rows;
  const uint32_t band_count = (height + band_rows - 1) / band_rows;
  const auto as_bytes = [](std::span<const uint32_t> pixels) {
    return std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(pixels.data()),
                                    pixels.size_bytes());
  };
  if (!placement.transposed) {
    std::vector<uint32_t> mirrored(placement.reversed_columns ? width : 0);
    for (uint32_t n = 0; n < band_count; ++n) {
      const uint32_t top = (placement.reversed_rows ? band_count - 1 - n : n) * band_rows;
      const std::span<const uint32_t> band = bands.band(top);
      const size_t rows = band.size() / width;
      for (size_t i = 0; i < rows; ++i) {
        const std::span<const uint32_t> row =
            band.subspan((placement.reversed_rows ? rows - 1 - i : i) * width, width);
        if (placement.reversed_columns) {
          std::reverse_copy(row.begin(), row.end(), mirrored.begin());
          display.PutRow(as_bytes(mirrored));
        } else {
          display.PutRow(as_bytes(row));
        }
      }
    }
    return;
  }
  // Display pixel (x, y) shows stored row r, column c as in
  // PassTransposedFrameOn: x = r, or H - 1 - r with reversed rows; y = c,
  // or W - 1 - c with reversed columns.
  const uint64_t block_columns =
      bands.held ? kTransposeBlock : std::max<uint64_t>(1, most_block_pixels / height);
  const auto block = static_cast<uint32_t>(std::min<uint64_t>(block_columns, width));
  std::vector<uint32_t> columns(size_t{block} * height);
  for (uint32_t first = 0; first < width; first += block) {
    const uint32_t count = std::min<uint32_t>(block, static_cast<uint32_t>(width) - first);
    for (uint32_t top = 0; top < height; top += band_rows) {
      const std::span<const uint32_t> band = bands.band(top);
      const size_t rows = band.size() / width;
      for (size_t i = 0; i < rows; ++i) {
        const uint32_t* const stored_row = band.data() + i * width;
        const uint32_t r = top + static_cast<uint32_t>(i);
        const uint32_t x = placement.reversed_rows ? height - 1 - r : r;
        for (uint32_t j = 0; j < count; ++j) {
          const size_t y = first + j;
          columns[size_t{j} * height + x] =
              stored_row[placement.reversed_columns ? width - 1 - y : y];
        }
      }
    }
    for (uint32_t j = 0; j < count; ++j) {
      display.PutRow(
          as_bytes(std::span<const uint32_t>(columns).subspan(size_t{j} * height, height)));
    }
  }
}

}  // namespace ostrel
