#include "converter/packed_columns.h"

namespace ostrel {

std::span<const uint8_t> PackedColumns(std::span<const uint8_t> row, int bits, uint32_t left,
                                       uint32_t count, std::vector<uint8_t>& scratch) {
  const uint64_t first_bit = uint64_t{left} * static_cast<uint64_t>(bits);
  const size_t first_byte = first_bit / 8;
  const size_t bytes = (uint64_t{count} * static_cast<uint64_t>(bits) + 7) / 8;
  const unsigned shift = first_bit % 8;
  if (shift == 0) {
    return row.subspan(first_byte, bytes);
  }
  scratch.resize(bytes);
  for (size_t i = 0; i < bytes; ++i) {
    const size_t at = first_byte + i;
    const unsigned next = at + 1 < row.size() ? row[at + 1] : 0;
    scratch[i] = static_cast<uint8_t>(row[at] << shift | next >> (8 - shift));
  }
  return scratch;
}

}  // namespace ostrel
