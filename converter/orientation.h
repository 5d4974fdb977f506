// The TIFF Orientation tag: stored rows and columns put into display order.
#ifndef OSTREL_CONVERTER_ORIENTATION_H_
#define OSTREL_CONVERTER_ORIENTATION_H_

#include <cstdint>
#include <functional>
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

// The orientation that shows an image as `orientation` does, then
// reflected left to right.
uint16_t Mirrored(uint16_t orientation);

// Whether `orientation` shows stored rows, or stored columns, last first:
// for orientations 5 to 8 the stored columns are display rows, and the
// stored rows display columns.
bool ReversesStoredRows(uint16_t orientation);
bool ReversesStoredColumns(uint16_t orientation);

// The stored rectangle of an image of `stored` size that `orientation`
// shows as `shown`, a rectangle within DisplaySize(orientation, stored).
PixelRect StoredRect(uint16_t orientation, ImageSize stored, PixelRect shown);

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

// A page of RGBA pixels (one uint32_t each) as bands of stored rows, for
// formats that take its pixels as they are: either held whole (no band is
// read twice at any cost) or read again from the file whenever asked.
struct RgbaBands {
  ImageSize stored;
  // Bands start at multiples of this; the last may be shorter.
  uint32_t band_rows = 0;
  // The band's pixels, whole rows from stored row `top` on. The span may
  // be overwritten by the next call.
  std::function<std::span<const uint32_t>(uint32_t top)> band;
  // Held: reading a band again costs nothing.
  bool held = false;
};

// Passes the display rows of `bands`, shown as `orientation` says, on to
// `display`, each as the bytes of its pixels. Orientations 1 and 2 read
// each band once, in order; 3 and 4 once, bottom band first. Orientations 5
// to 8, whose display rows are stored columns, gather blocks of columns: of
// a held frame 64 at a time; else as many as `most_block_pixels` pixels
// hold, reading all bands once per block.
void PassOrientedRgbaRows(uint16_t orientation, const RgbaBands& bands, uint64_t most_block_pixels,
                          IndexedRowSink& display);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_ORIENTATION_H_
