#include "converter/chunk_layout.h"

#include <algorithm>

#include <tiffio.h>

namespace ostrel {

std::vector<ByteRange> ChunkRanges(TIFF* file) {
  const uint32_t count =
      TIFFIsTiled(file) != 0 ? TIFFNumberOfTiles(file) : TIFFNumberOfStrips(file);
  std::vector<ByteRange> chunks(count);
  for (uint32_t i = 0; i < count; ++i) {
    chunks[i] = {TIFFGetStrileOffset(file, i), TIFFGetStrileByteCount(file, i)};
  }
  return chunks;
}

bool ChunksOverlap(std::vector<ByteRange> chunks) {
  std::erase_if(chunks,
                [](const ByteRange& chunk) { return chunk.offset == 0 || chunk.length == 0; });
  std::sort(chunks.begin(), chunks.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  for (size_t i = 1; i < chunks.size(); ++i) {
    const ByteRange& before = chunks[i - 1];
    // Compared without adding, so that a length near 2^64 cannot wrap.
    if (chunks[i].offset - before.offset < before.length) {
      return true;
    }
  }
  return false;
}

}  // namespace ostrel
