// A page's samples as stored, row by row, for pages whose samples are
// palette indices already; with 8-bit horizontal differencing undone faster
// than libtiff does.
#ifndef OSTREL_CONVERTER_STORED_ROWS_H_
#define OSTREL_CONVERTER_STORED_ROWS_H_

#include <cstdint>
#include <functional>
#include <span>

#include "converter/image_size.h"
#include "converter/tiff_file.h"
#include "converter/tiff_page.h"

namespace ostrel {

// For a page of 8-bit samples stored with horizontal differencing: tells
// libtiff there is no predictor, so that ReadStoredRows undoes it instead,
// and returns true; false, changing nothing, for any other page. Call it
// before libtiff first decodes the page; libtiff's RGBA renderer would see
// the differences after it.
bool TakeOverDifferencing(TiffFile& file, const TiffPage& page);

// Visits the rows of `window`, a rectangle within `page`, of `file` in
// order, each the window's columns packed as stored (1, 2, 4 or 8 bits a
// sample, or 16 bits in native byte order), starting on a byte, undoing
// horizontal differencing when `undo_differencing` says so. Decodes no
// strip above the window and none below it, and only the tiles it
// overlaps; rows of a strip above the window are decoded, not visited.
// Holds one scanline, or one row of the tiles read. Raises kDamagedTiff,
// or kUnsupportedTiff for tiles that do not end on a byte.
void ReadStoredRows(TiffFile& file, const TiffPage& page, bool undo_differencing,
                    const PixelRect& window,
                    const std::function<void(std::span<const uint8_t>)>& visit);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_STORED_ROWS_H_
