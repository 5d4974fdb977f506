// Where a page's strips or tiles lie, in its file and among its rows. Each has bytes of its own
// in every file an honest writer makes; chunks that share bytes let a small
// file declare a page that costs many times its size to decode (256 strips
// pointing at one 3 MB strip make a 768 MB page of 3 MB).
#ifndef OSTREL_CONVERTER_CHUNK_LAYOUT_H_
#define OSTREL_CONVERTER_CHUNK_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/tiff_file.h"

struct tiff;  // libtiff's TIFF

namespace ostrel {

struct ByteRange {
  uint64_t offset = 0;
  uint64_t length = 0;
};

// The byte ranges of the strips or tiles of `file`'s current page, as its
// StripOffsets and StripByteCounts (or TileOffsets and TileByteCounts) say.
std::vector<ByteRange> ChunkRanges(tiff* file);

// Whether two of `chunks` share a byte. A chunk at offset 0 or of length 0
// holds no bytes: sparse files leave empty tiles so.
bool ChunksOverlap(std::vector<ByteRange> chunks);

// A tiled page's tile shape as libtiff reports it.
struct TileShape {
  uint32_t width;
  uint32_t height;
  size_t size;
  size_t row_bytes;
};

// The tile shape of `file`'s current page, which must be tiled. Raises
// kDamagedTiff for a tile of no size, one beyond
// TiffFile::kMaxLibraryAllocation, or one whose rows would overrun it.
TileShape CheckedTileShape(TiffFile& file);

// Rows per band for reading a page of `height` rows in bands: bands that
// start at multiples of this end where strips or rows of tiles end, so that
// each is decoded once.
uint32_t ChunkAlignedBandRows(tiff* file, uint32_t height);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_CHUNK_LAYOUT_H_
