// A page's samples as stored, row by row, for pages whose samples are
// palette indices already; with 8-bit horizontal differencing undone faster
// than libtiff does.
#ifndef OSTREL_CONVERTER_STORED_ROWS_H_
#define OSTREL_CONVERTER_STORED_ROWS_H_

#include <cstdint>
#include <functional>
#include <span>

#include "converter/tiff_file.h"
#include "converter/tiff_page.h"

namespace ostrel {

// For a page of 8-bit samples stored with horizontal differencing: tells
// libtiff there is no predictor, so that ReadStoredRows undoes it instead,
// and returns true; false, changing nothing, for any other page. Call it
// before libtiff first decodes the page; libtiff's RGBA renderer would see
// the differences after it.
bool TakeOverDifferencing(TiffFile& file, const TiffPage& page);

// Visits `page`'s stored rows of `file` in order, each packed as stored (1,
// 2, 4 or 8 bits a sample, or 16 bits in native byte order), starting on a
// byte, undoing horizontal differencing when `undo_differencing` says so.
// Holds one scanline, or one row of tiles. Raises kDamagedTiff, or
// kUnsupportedTiff for tiles that do not end on a byte.
void ReadStoredRows(TiffFile& file, const TiffPage& page, bool undo_differencing,
                    const std::function<void(std::span<const uint8_t>)>& visit);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_STORED_ROWS_H_
