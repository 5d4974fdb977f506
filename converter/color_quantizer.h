// Wu's colour quantizer: a histogram of colours, cut greedily into boxes of
// RGB space, each cut where it leaves the least variance.
#ifndef OSTREL_CONVERTER_COLOR_QUANTIZER_H_
#define OSTREL_CONVERTER_COLOR_QUANTIZER_H_

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "converter/palette.h"

namespace ostrel {

class ColorHistogram {
 public:
  // Cells are 4 values wide in each channel: with 8, a picture of a few dark
  // shades fell into so few cells that fewer colours came out than allowed.
  // Index 0 of each axis stays empty, which spares the cumulative sums a
  // special case.
  static constexpr int kCellBits = 6;
  static constexpr int kSide = (1 << kCellBits) + 1;

  // Sums over a cell (or box) of pixels: their count, their channels, and
  // their squared channels. 64 bits hold them exactly for 2^32 pixels.
  struct Moments {
    int64_t count = 0;
    int64_t red = 0;
    int64_t green = 0;
    int64_t blue = 0;
    int64_t squares = 0;
    Moments& operator+=(const Moments& other);
    Moments& operator-=(const Moments& other);
  };

  ColorHistogram();

  // Counts `count` pixels of one colour, channels 0 to 255. Single pixels,
  // most of a photo's, go without the multiplications.
  void Add(int red, int green, int blue, int64_t count) {
    Moments& cell = cells_[CellOf(red, green, blue)];
    const int64_t squares = red * red + green * green + blue * blue;
    if (count == 1) {
      cell.count += 1;
      cell.red += red;
      cell.green += green;
      cell.blue += blue;
      cell.squares += squares;
      return;
    }
    cell.count += count;
    cell.red += red * count;
    cell.green += green * count;
    cell.blue += blue * count;
    cell.squares += squares * count;
  }

  std::vector<Moments> TakeCells() && { return std::move(cells_); }

  static size_t CellOf(int red, int green, int blue) {
    constexpr int kShift = 8 - kCellBits;
    return At((red >> kShift) + 1, (green >> kShift) + 1, (blue >> kShift) + 1);
  }
  static size_t At(int red, int green, int blue) {
    return (static_cast<size_t>(red) * kSide + green) * kSide + blue;
  }

 private:
  std::vector<Moments> cells_;
};

// At most `max_colors` (1 to 256) colours standing for the histogram's
// pixels: the mean colours of the boxes that Wu's method cuts. Fewer when
// the pixels leave nothing more to cut; none for an empty histogram. Takes
// the histogram, whose cells become the cumulative sums (11 MiB saved).
Palette QuantizeColors(ColorHistogram histogram, int max_colors);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_COLOR_QUANTIZER_H_
