#include "converter/chunk_layout.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

using Chunks = std::vector<ByteRange>;

std::string Shown(const Chunks& chunks) {
  std::string text;
  for (const ByteRange& chunk : chunks) {
    text += "(" + std::to_string(chunk.offset) + ", " + std::to_string(chunk.length) + ")";
  }
  return text;
}

TEST(ChunkLayoutTest, AChunkWithBytesMustStartPastTheHeader) {
  const struct {
    Chunks chunks;
    uint64_t header;
    bool in_header;
  } cases[] = {
      {{}, 8, false},
      {{{0, 0}}, 8, false},  // a sparse chunk: no bytes, nothing read
      {{{5, 0}}, 8, false},
      {{{0, 1}}, 8, true},
      {{{0, 49152}, {0, 49152}}, 8, true},  // every strip from the file's first byte
      {{{7, 100}}, 8, true},
      {{{8, 100}}, 8, false},
      {{{100, 10}, {3, 10}, {200, 10}}, 8, true},
      {{{15, 1}}, 16, true},  // a BigTIFF's header is 16 bytes
      {{{16, 1}}, 16, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChunkInHeader(c.chunks, c.header), c.in_header) << Shown(c.chunks);
  }
}

TEST(ChunkLayoutTest, ChunksOverlapWhenTwoShareAByte) {
  const struct {
    Chunks chunks;
    bool overlap;
  } cases[] = {
      {{}, false},
      {{{8, 10}}, false},
      {{{8, 10}, {18, 10}}, false},  // adjacent
      {{{8, 10}, {17, 10}}, true},
      {{{18, 10}, {8, 11}}, true},  // in any order
      {{{8, 10}, {8, 10}}, true},
      {{{0, 10}, {0, 10}}, true},  // at offset 0 too
      {{{0, 10}, {5, 10}}, true},
      {{{8, 0}, {8, 10}}, false},  // a chunk of no bytes shares none
      {{{0, 0}, {0, 0}, {8, 10}}, false},
      {{{8, UINT64_MAX}, {100, 1}}, true},  // a length near 2^64 does not wrap
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChunksOverlap(c.chunks), c.overlap) << Shown(c.chunks);
  }
}

TEST(ChunkLayoutTest, StoredBytesCountWhatLiesInTheFile) {
  constexpr uint64_t kFileSize = 1000;
  const struct {
    Chunks chunks;
    uint64_t stored;
  } cases[] = {
      {{}, 0},
      {{{0, 0}}, 0},
      {{{8, 100}, {108, 100}}, 200},
      {{{900, 200}}, 100},  // what it claims past the end is not there
      {{{1000, 10}}, 0},
      {{{5000, 10}, {8, 10}}, 10},
      {{{8, UINT64_MAX}}, 992},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StoredBytes(c.chunks, kFileSize), c.stored) << Shown(c.chunks);
  }
}

}  // namespace
}  // namespace ostrel
