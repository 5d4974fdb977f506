// Where a page's strips or tiles lie, in its file and among its rows. Each has bytes of its own
// in every file an honest writer makes; chunks that share bytes let a small
// file declare a page that costs many times its size to decode (256 strips
// pointing at one 3 MB strip make a 768 MB page of 3 MB), and so do chunks
// at offset 0, which libtiff reads from the file's first byte.
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

// Whether one of `chunks` starts inside the file's header, its first
// `header_bytes`: libtiff would decode the header as pixels. A chunk of
// length 0 holds no bytes, wherever it says it is: sparse files leave empty
// tiles at offset 0 and of length 0.
bool ChunkInHeader(const std::vector<ByteRange>& chunks, uint64_t header_bytes);

// Whether two of `chunks` share a byte. A chunk of length 0 holds none.
bool ChunksOverlap(std::vector<ByteRange> chunks);

// The bytes of `chunks` that lie within a file of `file_size` bytes: what
// they claim beyond its end is not stored.
uint64_t StoredBytes(const std::vector<ByteRange>& chunks, uint64_t file_size);

// The bytes the strips or tiles of `file`'s current page decode to: rows of
// samples as stored, tiles whole at the page's edges; UINT64_MAX for more.
uint64_t DecodedBytes(tiff* file);

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
