#include "converter/stored_rows.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "converter/chunk_layout.h"
#include "converter/conversion_failure.h"

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
                    const std::function<void(std::span<const uint8_t>)>& visit) {
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
    for (uint32_t row = 0; row < page.height; ++row) {
      file.CheckDecoded(TIFFReadScanline(file.handle(), buffer.data(), row, 0) >= 0);
      undo(buffer.data(), row_bytes);
      visit(std::span<const uint8_t>(buffer.data(), row_bytes));
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
  // One row of tiles side by side: its rows are whole image rows.
  const size_t tiles_across = (page.width + tile_width - 1) / tile_width;
  const size_t stride = tiles_across * tile_row_bytes;
  const uint32_t band_rows = std::min(tile_height, page.height);
  std::vector<uint8_t> tile(shape.size);
  std::vector<uint8_t> band(stride * band_rows);
  for (uint32_t top = 0; top < page.height; top += tile_height) {
    const uint32_t rows = std::min(tile_height, page.height - top);
    for (size_t across = 0; across < tiles_across; ++across) {
      file.CheckDecoded(TIFFReadTile(file.handle(), tile.data(),
                                     static_cast<uint32_t>(across * tile_width), top, 0, 0) >= 0);
      for (uint32_t row = 0; row < rows; ++row) {
        // Each row of a tile is differenced from the tile's left edge.
        undo(tile.data() + row * tile_row_bytes, tile_row_bytes);
        std::memcpy(band.data() + row * stride + across * tile_row_bytes,
                    tile.data() + row * tile_row_bytes, tile_row_bytes);
      }
    }
    for (uint32_t row = 0; row < rows; ++row) {
      visit(std::span<const uint8_t>(band.data() + row * stride, row_bytes));
    }
  }
}

}  // namespace ostrel
