#include "converter/stored_rows.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "converter/chunk_layout.h"
#include "converter/conversion_failure.h"
#include "converter/packed_columns.h"

namespace ostrel {

bool TakeOverDifferencing(TiffFile& file, const TiffPage& page) {
  // libtiff undoes horizontal differencing of 8-bit samples one byte at a
  // time through memory, each byte waiting for the one stored before it;
  // with the running sum in a register it costs a fraction. libtiff is told
  // there is no predictor before it first decodes, when it sets up its
  // decoder; the RGBA renderer, which would now see the differences, is
  // not used on the page after that.
  uint16_t predictor = PREDICTOR_NONE;
  return page.bits_per_sample == 8 &&
         TIFFGetField(file.handle(), TIFFTAG_PREDICTOR, &predictor) != 0 &&
         predictor == PREDICTOR_HORIZONTAL &&
         TIFFSetField(file.handle(), TIFFTAG_PREDICTOR, PREDICTOR_NONE) != 0;
}

void ReadStoredRows(TiffFile& file, const TiffPage& page, bool undo_differencing,
                    const PixelRect& window,
                    const std::function<void(std::span<const uint8_t>)>& visit) {
  const int bits = page.bits_per_sample;
  std::vector<uint8_t> cropped;
  const size_t row_bytes = (static_cast<size_t>(page.width) * page.bits_per_sample + 7) / 8;
  const auto undo = [undo_differencing](uint8_t* row, size_t bytes) {
    if (undo_differencing) {
      uint8_t sum = 0;
      for (size_t i = 0; i < bytes; ++i) {
        sum = static_cast<uint8_t>(sum + row[i]);
        row[i] = sum;
      }
    }
  };
  if (TIFFIsTiled(file.handle()) == 0) {
    const tmsize_t scanline = TIFFScanlineSize(file.handle());
    if (scanline <= 0 || static_cast<size_t>(scanline) < row_bytes) {
      file.Fail(ConversionFailure::kDamagedTiff, "bad scanline size in " + file.name());
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(scanline));
    // From the start of the window's strip: a strip is decoded from its
    // start, and libtiff cannot skip rows of some (CCITT) strips itself.
    uint32_t rows_per_strip = page.height;
    TIFFGetFieldDefaulted(file.handle(), TIFFTAG_ROWSPERSTRIP, &rows_per_strip);
    rows_per_strip = std::clamp<uint32_t>(rows_per_strip, 1, page.height);
    for (uint32_t row = window.y - window.y % rows_per_strip; row < window.y; ++row) {
      file.CheckDecoded(TIFFReadScanline(file.handle(), buffer.data(), row, 0) >= 0);
    }
    for (uint32_t row = window.y; row < window.y + window.height; ++row) {
      file.CheckDecoded(TIFFReadScanline(file.handle(), buffer.data(), row, 0) >= 0);
      undo(buffer.data(), row_bytes);
      visit(PackedColumns(std::span<const uint8_t>(buffer.data(), row_bytes), bits, window.x,
                          window.width, cropped));
    }
    return;
  }

  const TileShape shape = CheckedTileShape(file);
  const uint32_t tile_width = shape.width;
  const uint32_t tile_height = shape.height;
  const size_t tile_row_bytes = shape.row_bytes;
  if (static_cast<uint64_t>(tile_width) * page.bits_per_sample % 8 != 0) {
    throw ConversionError(ConversionFailure::kUnsupportedTiff,
                          "tiles that do not end on a byte in " + file.name());
  }
  // One row of the tiles the window overlaps, side by side: its rows are
  // rows of the image from the first of those tiles' left edge.
  const uint32_t first_tile = window.x / tile_width;
  const size_t tiles_across = (window.x + window.width + tile_width - 1) / tile_width - first_tile;
  const uint32_t band_left = first_tile * tile_width;
  const size_t stride = tiles_across * tile_row_bytes;
  const uint32_t band_rows = std::min(tile_height, page.height);
  const uint32_t bottom = window.y + window.height;
  std::vector<uint8_t> tile(shape.size);
  std::vector<uint8_t> band(stride * band_rows);
  for (uint32_t top = window.y - window.y % tile_height; top < bottom; top += tile_height) {
    const uint32_t rows = std::min(tile_height, page.height - top);
    for (size_t across = 0; across < tiles_across; ++across) {
      file.CheckDecoded(TIFFReadTile(file.handle(), tile.data(),
                                     static_cast<uint32_t>(band_left + across * tile_width), top, 0,
                                     0) >= 0);
      for (uint32_t row = 0; row < rows; ++row) {
        // Each row of a tile is differenced from the tile's left edge.
        undo(tile.data() + row * tile_row_bytes, tile_row_bytes);
        std::memcpy(band.data() + row * stride + across * tile_row_bytes,
                    tile.data() + row * tile_row_bytes, tile_row_bytes);
      }
    }
    for (uint32_t row = std::max(top, window.y) - top; row < rows && top + row < bottom; ++row) {
      visit(PackedColumns(std::span<const uint8_t>(band.data() + row * stride, stride), bits,
                          window.x - band_left, window.width, cropped));
    }
  }
}

}  // namespace ostrel
