// The TIFF Orientation tag: which way stored rows and columns are shown.
#ifndef OSTREL_CONVERTER_ORIENTATION_H_
#define OSTREL_CONVERTER_ORIENTATION_H_

#include <cstdint>

#include "converter/image_size.h"

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

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_ORIENTATION_H_
