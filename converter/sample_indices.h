// Bilevel, gray and palette pages store palette indices already: their
// palette, and their stored rows unpacked to one index a pixel.
#ifndef OSTREL_CONVERTER_SAMPLE_INDICES_H_
#define OSTREL_CONVERTER_SAMPLE_INDICES_H_

#include <array>
#include <cstdint>
#include <span>

#include "converter/indexed_rows.h"
#include "converter/palette.h"
#include "converter/tiff_reader.h"

namespace ostrel {

// The palette for a page of kind kBilevel, kGray or kPalette: two entries
// for bilevel, 4, 16 or 256 grays for 2, 4 and 8 (or 16) bits, white first
// when the page is white-is-zero; a palette page's own colormap.
IndexedPalette SamplePalette(const TiffPage& page);

// Sets used[v] for every value v of 8-bit `samples`.
void MarkUsedSamples(std::span<const uint8_t> samples, std::array<bool, 256>& used);

// An 8-bit colormap cut to the colours of its used entries, each distinct
// colour once, in the order of the first entry that shows it; and for every
// entry its colour's position in the cut one (0 for unused entries).
struct CutColormap {
  Palette colors;
  std::array<uint8_t, 256> position{};
};
CutColormap CutToUsedColors(const Palette& colormap, const std::array<bool, 256>& used);

// Unpacks one stored row of `bits`-bit samples (1, 2, 4, 8, or 16 in native
// byte order) into `indices`, one a pixel, as many as `indices` holds;
// 16-bit samples are rounded to 8 bits.
void UnpackSamples(std::span<const uint8_t> stored, int bits, std::span<uint8_t> indices);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_SAMPLE_INDICES_H_
