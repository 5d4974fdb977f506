// Where a page's strips or tiles lie in its file. Each has bytes of its own
// in every file an honest writer makes; chunks that share bytes let a small
// file declare a page that costs many times its size to decode (256 strips
// pointing at one 3 MB strip make a 768 MB page of 3 MB).
#ifndef OSTREL_CONVERTER_CHUNK_LAYOUT_H_
#define OSTREL_CONVERTER_CHUNK_LAYOUT_H_

#include <cstdint>
#include <vector>

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

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_CHUNK_LAYOUT_H_
