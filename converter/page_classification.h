// What the current page of a TIFF file is, and so which of the ways of
// reading its pixels it takes.
#ifndef OSTREL_CONVERTER_PAGE_CLASSIFICATION_H_
#define OSTREL_CONVERTER_PAGE_CLASSIFICATION_H_

#include <memory>

#include "converter/mapped_samples.h"
#include "converter/tiff_file.h"
#include "converter/tiff_page.h"

namespace ostrel {

struct ClassifiedPage {
  TiffPage page;
  // Set where the converter maps the page's samples itself.
  std::unique_ptr<MappedSampleReader> mapped;
};

// Reads the tags of `file`'s current page. Pages of plain 1-bit gray, gray
// of 2 to 16 bits and palettes of up to 8 bits read their stored samples as
// indices; pages whose samples libtiff's renderer refuses or misdraws are
// taken from it (MappedSampleReader::TakeOverFromRenderer), gray ones among
// them read as 8-bit gray; every other page must be one libtiff can render.
// Tells `file`'s messages whether damaged fax lines are recoverable. Raises
// kDamagedTiff for a page without pixels, kUnsupportedTiff for a compression
// scheme libtiff lacks or a page it cannot render. `file` must outlive the
// result.
ClassifiedPage ClassifyPage(TiffFile& file);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_PAGE_CLASSIFICATION_H_
