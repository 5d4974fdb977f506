// The TIFF Orientation tag: stored rows and columns put into display order.
#ifndef OSTREL_CONVERTER_ORIENTATION_H_
#define OSTREL_CONVERTER_ORIENTATION_H_

#include <cstdint>
#include <span>
#include <vector>

#include "converter/image_size.h"
#include "converter/indexed_rows.h"

namespace ostrel {

// The displayed size of a stored `stored` image: width and height swap for
// orientations 5 to 8, whose stored rows are displayed as columns.
ImageSize DisplaySize(uint16_t orientation, ImageSize stored);

// The orientation that shows an image as `orientation` does, then turned
// `degrees` (0, 90, 180 or 270) clockwise.
uint16_t TurnedClockwise(uint16_t orientation, uint16_t degrees);

// Takes the stored rows top to bottom and passes the display rows on to
// `display`. Orientations 1 and 2 (plain and mirrored) go row by row. The
// others need stored rows that have not arrived yet: they hold the indexed
// frame, one byte a pixel, and pass it on when the last stored row arrives.
class OrientedRows : public IndexedRowSink {
 public:
  OrientedRows(uint16_t orientation, ImageSize stored, IndexedRowSink& display);
  void PutRow(std::span<const uint8_t> stored_row) override;

 private:
  void PassFrameOn();
  void PassTransposedFrameOn();

  uint16_t orientation_;
  ImageSize stored_;
  IndexedRowSink& display_;
  uint32_t rows_received_ = 0;
  std::vector<uint8_t> frame_;    // held stored rows, orientations 3 to 8
  std::vector<uint8_t> scratch_;  // display rows being assembled
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_ORIENTATION_H_
