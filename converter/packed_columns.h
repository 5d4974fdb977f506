// Some of the columns of a row of packed samples, cut out to start on a
// byte.
#ifndef OSTREL_CONVERTER_PACKED_COLUMNS_H_
#define OSTREL_CONVERTER_PACKED_COLUMNS_H_

#include <cstdint>
#include <span>
#include <vector>

namespace ostrel {

// Columns [left, left + count) of `row`, samples of `bits` each (1, 2, 4,
// 8 or 16) packed most significant bit first, which must hold them: a view
// into `row` where they start on a byte, else a copy shifted into
// `scratch`, which it then returns.
std::span<const uint8_t> PackedColumns(std::span<const uint8_t> row, int bits, uint32_t left,
                                       uint32_t count, std::vector<uint8_t>& scratch);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_PACKED_COLUMNS_H_
