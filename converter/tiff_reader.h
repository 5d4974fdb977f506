// One page of a TIFF file, read through libtiff: what it is, and its pixels
// either as stored samples or rendered to RGBA, each read by whichever of
// the ways of reading suits the page.
#ifndef OSTREL_CONVERTER_TIFF_READER_H_
#define OSTREL_CONVERTER_TIFF_READER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "converter/image_size.h"
#include "converter/mapped_samples.h"
#include "converter/rgba_renderer.h"
#include "converter/tiff_file.h"
#include "converter/tiff_page.h"

namespace ostrel {

class TiffReader {
 public:
  // Selects page `page_number` (from 1) of `file` and reads what it is.
  // Raises kDamagedTiff, kUnsupportedTiff or kNoSuchPage; kDamagedTiff too
  // for strips or tiles that start inside the file's header or share bytes.
  TiffReader(TiffFile file, uint32_t page_number);
  ~TiffReader();
  TiffReader(const TiffReader&) = delete;
  TiffReader& operator=(const TiffReader&) = delete;

  const TiffPage& page() const { return page_; }

  // The bytes the strips or tiles of the page the reader was made for hold
  // in the file, and the bytes they decode to (see chunk_layout.h).
  uint64_t stored_bytes() const { return stored_bytes_; }
  uint64_t decoded_bytes() const { return decoded_bytes_; }

  // The number of pages in the file; walks its directories without reading
  // them.
  uint32_t CountPages();

  // Selects the page after the current one and reads what it is, as the
  // constructor does; false after the last page.
  bool NextPage();

  // For every kind but kColor: visits the stored rows in order, each packed
  // as stored (1, 2, 4 or 8 bits a sample, or 16 bits in native byte order),
  // starting on a byte; a gray page of other samples (other depths, signed,
  // float, luminance) arrives mapped to 8 bits, as README.md tells. Holds
  // one scanline, or one row of tiles. Raises kDamagedTiff. It undoes 8-bit
  // horizontal differencing itself, and after it has done so ReadRgbaRows
  // raises kInternal.
  void ReadSampleRows(const std::function<void(std::span<const uint8_t>)>& visit);

  // ReadSampleRows for the rows of `window`, a rectangle within the page,
  // each its columns only, starting on a byte; stops after its last row and
  // reads only the strips or tiles it needs (see ReadStoredRows). A page
  // the reader maps itself is read whole, the rows beyond the window passed
  // over.
  void ReadSampleRows(const PixelRect& window,
                      const std::function<void(std::span<const uint8_t>)>& visit);

  // Rows per band for ReadRgbaRows: bands that start at multiples of this
  // end where strips or rows of tiles end, so that each is decoded once.
  uint32_t RgbaBandRows() const;

  // Any kind: renders the stored rows from `top` on, as many as `pixels`
  // holds whole rows, to RGBA through libtiff (TIFFGetR and its kin unpack
  // a pixel; colour is premultiplied by alpha), or through the reader's own
  // mapping where libtiff's renderer refuses the samples or misdraws them
  // (deep, signed and float samples, CMYK beyond 8 bits or with alpha,
  // CIELab, SGILog). Stored order whatever the orientation. Raises
  // kDamagedTiff or kUnsupportedTiff.
  void ReadRgbaRows(uint32_t top, std::span<uint32_t> pixels);

  // Any kind: visits the rows of `window`, a rectangle within the page,
  // rendered as ReadRgbaRows does, each its columns only. Reads bands
  // aligned to strips or rows of tiles from the window's first row to its
  // last; libtiff's renderer reads only the tiles the window overlaps.
  // Holds a band of the window's width (the page's for a page the reader
  // maps itself). Raises as ReadRgbaRows.
  void ReadRgbaWindow(const PixelRect& window,
                      const std::function<void(std::span<const uint32_t>)>& visit);

  // Lines of a fax page that the CCITT decoder could not decode in full and
  // filled in, resuming at the next line; of several passes over the page,
  // the one that met the most.
  uint32_t DamagedLines() const;

 private:
  // Reads what the current page is, forgetting how the one before was read.
  void ReadPage();

  TiffFile file_;
  TiffPage page_;
  std::unique_ptr<MappedSampleReader> mapped_;  // pages the reader maps itself
  std::unique_ptr<RgbaRenderer> renderer_;      // libtiff's, begun on first use
  bool undoes_differencing_ = false;            // ReadSampleRows, not libtiff, undoes the predictor
  uint64_t stored_bytes_ = 0;
  uint64_t decoded_bytes_ = 0;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_TIFF_READER_H_
