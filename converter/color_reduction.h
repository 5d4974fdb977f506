// Colour pages: a survey of the rendered pixels chooses the palette (their
// own colours when there are few enough, else quantized ones), then each row
// is mapped to it, with error diffusion when asked for.
#ifndef OSTREL_CONVERTER_COLOR_REDUCTION_H_
#define OSTREL_CONVERTER_COLOR_REDUCTION_H_

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "converter/color_quantizer.h"
#include "converter/distinct_colors.h"
#include "converter/indexed_rows.h"
#include "converter/nearest_color.h"

namespace ostrel {

class ColorReduction {
 public:
  // At most `colors` (2 to 256) palette entries, rows `width` pixels wide.
  ColorReduction(int colors, bool dither, uint32_t width);

  // First pass: libtiff's RGBA pixels (see TiffReader), each pixel of the
  // image exactly once, in any grouping.
  void Survey(std::span<const uint32_t> pixels);

  // After the survey: the palette. Pixels with alpha below one half share
  // one transparent entry, the last. When the opaque colours fit into the
  // rest they are kept exactly, else Wu's quantizer chooses the rest.
  const IndexedPalette& ChoosePalette();

  // True when ChoosePalette kept the image's own colours.
  bool exact() const { return exact_; }

  // Second pass: maps the image's next row, top to bottom, to indices.
  // Error diffusion (serpentine Floyd-Steinberg, small errors at half strength) is used when
  // colours were reduced and dithering is on, except on blocks of a row
  // whose own grain already spans the step between nearby palette entries.
  void MapRow(std::span<const uint32_t> row, std::span<uint8_t> indices);

  // Before the image's rows are mapped again from the top: forgets the
  // error diffused so far, so that each row maps as it did the first time.
  void RestartMapping();

 private:
  void DitherRow(std::span<const uint32_t> row, std::span<uint8_t> indices);
  void MeasureGrain(std::span<const uint32_t> row);
  void SetGrainLimits();

  int colors_;
  bool dither_;
  uint32_t width_;

  // Survey. The histogram (11 MiB) is made only once the image has more
  // colours than the palette holds, so a small image costs no more than it.
  void StartHistogram();
  std::optional<ColorHistogram> histogram_;
  DistinctColors distinct_;
  bool transparent_seen_ = false;

  // Mapping.
  IndexedPalette palette_;
  bool exact_ = false;
  uint8_t transparent_index_ = 0;
  std::optional<NearestColor> nearest_;
  uint32_t rows_mapped_ = 0;
  // Diffused error per channel, 64 times the value, for this row and the
  // next, with one spare pixel at each end.
  std::vector<int32_t> error_this_row_;
  std::vector<int32_t> error_next_row_;
  // Grain: per block of pixels of the row, the second differences in it
  // (see MeasureGrain), and per palette entry the grain above which a pixel
  // near it is not dithered.
  static constexpr size_t kGrainBlock = 8;
  std::vector<uint32_t> padded_row_;  // the row, its ends repeated, in whole blocks
  std::vector<int> grain_;
  std::array<int, 256> grain_limit_{};
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_COLOR_REDUCTION_H_
