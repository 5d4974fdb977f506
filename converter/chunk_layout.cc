#include "converter/chunk_layout.h"

#include <algorithm>
#include <cstdint>

#include <tiffio.h>

#include "converter/conversion_failure.h"

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

bool ChunkInHeader(const std::vector<ByteRange>& chunks, uint64_t header_bytes) {
  return std::any_of(chunks.begin(), chunks.end(), [header_bytes](const ByteRange& chunk) {
    return chunk.length != 0 && chunk.offset < header_bytes;
  });
}

bool ChunksOverlap(std::vector<ByteRange> chunks) {
  std::erase_if(chunks, [](const ByteRange& chunk) { return chunk.length == 0; });
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

uint64_t StoredBytes(const std::vector<ByteRange>& chunks, uint64_t file_size) {
  uint64_t stored = 0;
  for (const ByteRange& chunk : chunks) {
    if (chunk.offset < file_size) {
      stored += std::min(chunk.length, file_size - chunk.offset);
    }
  }
  return stored;
}

uint64_t DecodedBytes(TIFF* file) {
  const auto product = [](uint64_t a, uint64_t b) {
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
  };
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t samples = 1;
  uint16_t bits = 1;
  TIFFGetField(file, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(file, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(file, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(file, TIFFTAG_BITSPERSAMPLE, &bits);
  uint64_t columns = width;
  uint64_t rows = height;
  if (TIFFIsTiled(file) != 0) {
    uint32_t tile_width = 0;
    uint32_t tile_height = 0;
    TIFFGetField(file, TIFFTAG_TILEWIDTH, &tile_width);
    TIFFGetField(file, TIFFTAG_TILELENGTH, &tile_height);
    const auto whole_tiles = [](uint64_t size, uint64_t tile) {
      return tile == 0 ? size : (size + tile - 1) / tile * tile;
    };
    columns = whole_tiles(columns, tile_width);
    rows = whole_tiles(rows, tile_height);
  }
  const uint64_t row_bits = product(product(columns, samples), bits);
  return product(row_bits / 8 + (row_bits % 8 != 0 ? 1 : 0), rows);
}

TileShape CheckedTileShape(TiffFile& file) {
  uint32_t width = 0;
  uint32_t height = 0;
  TIFFGetField(file.handle(), TIFFTAG_TILEWIDTH, &width);
  TIFFGetField(file.handle(), TIFFTAG_TILELENGTH, &height);
  const tmsize_t size = TIFFTileSize(file.handle());
  const tmsize_t row_bytes = TIFFTileRowSize(file.handle());
  if (width == 0 || height == 0 || size <= 0 || row_bytes <= 0 ||
      size > TiffFile::kMaxLibraryAllocation ||
      static_cast<uint64_t>(row_bytes) * height > static_cast<uint64_t>(size)) {
    file.Fail(ConversionFailure::kDamagedTiff, "bad tile size in " + file.name());
  }
  return {width, height, static_cast<size_t>(size), static_cast<size_t>(row_bytes)};
}

uint32_t ChunkAlignedBandRows(TIFF* file, uint32_t height) {
  // Bands end where strips or rows of tiles end, so that libtiff decodes each
  // strip or tile once: a band that ended inside a strip would make the next
  // band decode that strip again from its start.
  uint32_t unit = 0;
  if (TIFFIsTiled(file) != 0) {
    TIFFGetField(file, TIFFTAG_TILELENGTH, &unit);
  } else {
    TIFFGetFieldDefaulted(file, TIFFTAG_ROWSPERSTRIP, &unit);
  }
  if (unit == 0 || unit >= height) {
    return height;
  }
  constexpr uint32_t kFewestRows = 64;  // fewer, larger calls into libtiff
  const uint32_t units = (kFewestRows + unit - 1) / unit;
  return units >= (height + unit - 1) / unit ? height : units * unit;
}

}  // namespace ostrel
