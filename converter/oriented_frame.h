// A frame of stored rows put into display order, as the Orientation tag and
// a turn say, within a bound on the memory held: what does not fit is read
// again, in bands of stored rows or blocks of stored columns.
#ifndef OSTREL_CONVERTER_ORIENTED_FRAME_H_
#define OSTREL_CONVERTER_ORIENTED_FRAME_H_

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "converter/image_size.h"
#include "converter/indexed_rows.h"

namespace ostrel {

// What a stored pixel is: a palette index packed eight to a byte, most
// significant bit first, each row starting on a byte; a palette index of
// one byte; or a libtiff RGBA pixel (see TiffReader), a uint32_t in native
// byte order.
enum class PixelForm { kPackedBit, kIndex, kRgba };

// A frame of stored rows that can be read again, in part: `rows` visits the
// rows of `window`, a rectangle within the frame, top to bottom, each cut
// to the window's columns (starting on a byte), and may be called any
// number of times. Visiting a part should cost less than the whole; it may
// cost as much.
struct StoredFrame {
  ImageSize size;
  PixelForm form = PixelForm::kIndex;
  std::function<void(const PixelRect& window, IndexedRowSink& rows)> rows;
};

// Passes the display rows of `frame`, shown as `orientation` says, on to
// `display`: one byte an index (a packed frame unpacked), or RGBA pixels.
// Orientations 1 and 2 read the frame once, row by row. The others hold
// the stored rows they turn, up to `most_held_bytes` (at the least one
// stored row, or a block of 64 stored columns): the whole frame when it
// fits, read once; else bands of stored rows, the bottom band first
// (3 and 4), or blocks of stored columns (5 to 8), each read on its own.
// Orientations 5 to 8 also assemble 64 display rows at a time.
void PassOrientedRows(uint16_t orientation, const StoredFrame& frame, uint64_t most_held_bytes,
                      IndexedRowSink& display);

// Passes on the part of a frame that `window` covers, from the frame's
// whole rows given top to bottom: for a frame that can only be read whole.
class RowsInWindow : public IndexedRowSink {
 public:
  RowsInWindow(const PixelRect& window, PixelForm form, IndexedRowSink& next);

  // The frame's next whole row.
  void PutRow(std::span<const uint8_t> row) override;

  // Whether the window's last row has been passed on: reading may stop.
  bool done() const { return row_ >= window_.y + window_.height; }

 private:
  PixelRect window_;
  PixelForm form_;
  IndexedRowSink& next_;
  uint32_t row_ = 0;
  std::vector<uint8_t> shifted_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_ORIENTED_FRAME_H_
