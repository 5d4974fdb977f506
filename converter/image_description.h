// The converter's second method: a description of a TIFF file as JSON, for
// a viewer to number and navigate its pages.
#ifndef OSTREL_CONVERTER_IMAGE_DESCRIPTION_H_
#define OSTREL_CONVERTER_IMAGE_DESCRIPTION_H_

#include <cstddef>
#include <string>

#include "converter/conversion_options.h"
#include "converter/tiff_reader.h"

namespace ostrel {

// Pages listed at most; the count covers them all.
inline constexpr size_t kMostDescribedPages = 1000;

// {"pages":N,"page":[{...},...]}: the number of pages, then for each of the
// first kMostDescribedPages its stored "width" and "height", "x_resolution"
// and "y_resolution" (a number, whole where it is, or null when absent),
// "resolution_unit" ("inch", "centimetre" or "none"; null when neither
// resolution is given), "kind" (bilevel, gray, palette or color) and
// "view_width" and "view_height", the size of the GIF that page gives with
// `options`' aspect but no box and no turn, and its "orientation" tag (1 to
// 8). Reads the directories only,
// from `reader`'s first page on.
std::string DescribePages(TiffReader& reader, const ConversionOptions& options);

// Writes DescribePages of `options.source` into `options.dest`, complete or
// not at all, like ConvertImage. Raises the ConversionFailure kinds.
void DescribeImage(const ConversionOptions& options);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_IMAGE_DESCRIPTION_H_
