// A 5 x 7 bitmap font for the corpus generator's text pages.
#ifndef OSTREL_BENCH_BITMAP_FONT_H_
#define OSTREL_BENCH_BITMAP_FONT_H_

#include <array>
#include <cstdint>

namespace ostrel::bench {

inline constexpr int kGlyphWidth = 5;
inline constexpr int kGlyphHeight = 7;

// The glyph's rows, top first; bit 4 is the leftmost column. Lower-case
// letters share the capitals' shapes; characters without a glyph are blank.
std::array<uint8_t, kGlyphHeight> GlyphRows(char character);

}  // namespace ostrel::bench

#endif  // OSTREL_BENCH_BITMAP_FONT_H_
