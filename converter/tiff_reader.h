// One page of a TIFF file, read through libtiff: what it is, and its pixels
// either as stored samples or rendered to RGBA.
#ifndef OSTREL_CONVERTER_TIFF_READER_H_
#define OSTREL_CONVERTER_TIFF_READER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "converter/conversion_failure.h"
#include "converter/palette.h"
#include "platform/file.h"

struct tiff;  // libtiff's TIFF

namespace ostrel {

// Pages whose stored samples are palette indices already (kBilevel, kGray,
// kPalette), and everything else libtiff can render (kColor).
enum class PageKind { kBilevel, kGray, kPalette, kColor };

struct TiffPage {
  uint32_t width = 0;
  uint32_t height = 0;
  PageKind kind = PageKind::kColor;
  // As ReadSampleRows delivers them: a gray page whose samples the reader
  // maps to 8 bits itself (other depths, signed, float) says 8.
  uint16_t bits_per_sample = 0;
  bool min_is_white = false;  // kBilevel and kGray: sample 0 is white
  uint16_t orientation = 1;   // 1 to 8; any other value counts as 1
  Palette colormap;           // kPalette: 1 << bits_per_sample entries, 8 bits each
  // Pixels per resolution unit, 0 where the tag is absent or not positive.
  float x_resolution = 0;
  float y_resolution = 0;
  uint16_t resolution_unit = 2;  // 1 none, 2 inch (also when absent), 3 centimetre
};

class TiffReader {
 public:
  // libtiff refuses single allocations above this; our own buffers are
  // bounded by the pixel limit instead.
  static constexpr int64_t kMaxLibraryAllocation = 256 << 20;

  // Opens `path` and selects page `page_number` (from 1). Raises
  // kCannotReadSource, kNotTiff, kDamagedTiff, kUnsupportedTiff or
  // kNoSuchPage.
  TiffReader(const std::string& path, uint32_t page_number);
  // The same for `file`, opened already from `path`.
  TiffReader(ReadOnlyFile file, const std::string& path, uint32_t page_number);
  // The same for a TIFF file held in memory, named `name` in messages;
  // `bytes` must outlive the reader.
  TiffReader(std::span<const uint8_t> bytes, const std::string& name, uint32_t page_number);
  ~TiffReader();
  TiffReader(const TiffReader&) = delete;
  TiffReader& operator=(const TiffReader&) = delete;

  const TiffPage& page() const { return page_; }

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

  // Lines of a fax page that the CCITT decoder could not decode in full and
  // filled in, resuming at the next line; of several passes over the page,
  // the one that met the most.
  uint32_t DamagedLines() const;

  // The first error and the first warning libtiff reported since they were
  // last cleared, empty when there was none, leaving out the warnings about
  // how the file was written (a deprecated scheme, old-style codes); and the
  // lines a CCITT decoder reported damaged, counted apart.
  struct Messages {
    static constexpr size_t kCapacity = 512;
    char error[kCapacity] = "";
    char warning[kCapacity] = "";
    // Group 3 faxes mark each line's end, where the decoder resynchronises
    // after a damaged line; without those marks the rest of the page is lost.
    bool lines_recoverable = false;
    uint32_t damaged_lines = 0;
    char last_damaged_line[64] = "";  // "at line N of strip M", to count each once
  };

 private:
  // Opens `file`, read from `path`, as a TIFF file and selects the page.
  void OpenFile(ReadOnlyFile file, const std::string& path, uint32_t page_number);
  // Takes over an opened handle (or raises for a null one), selects the
  // page and reads what it is.
  void Open(tiff* handle, uint32_t page_number);
  void ReadPage();
  // Chooses the reader's own sample mapping for pages of gray, RGB or CMYK
  // that libtiff's renderer refuses or would round. Returns false for others.
  bool MapsSamplesItself(uint16_t photometric, uint16_t compression);
  // Forgets the first error and warning, keeping the count of damaged lines.
  void ClearMessages();
  // Begins a pass over the page: the damaged lines are counted anew.
  void BeginPass();
  // The pages MapsSamplesItself chose: one decoded row of `plane`, its
  // samples' scales, and the rows mapped to 8-bit gray or to RGBA.
  std::span<const uint8_t> DecodedRow(uint32_t row, uint16_t plane);
  void ChooseScales();
  void ReadMappedGrayRows(const std::function<void(std::span<const uint8_t>)>& visit);
  void ReadMappedRgbaRows(uint32_t top, std::span<uint32_t> pixels);
  // Raises `failure` with "<what>: <libtiff's first error>" and clears the
  // messages.
  [[noreturn]] void Fail(ConversionFailure failure, const std::string& what);
  // After a decoding call: raises kDamagedTiff unless it succeeded and
  // libtiff reported nothing.
  void CheckDecoded(bool ok);

  // A tiled page's tile shape as libtiff reports it. Raises kDamagedTiff for
  // a tile of no size, one beyond kMaxLibraryAllocation, or one whose rows
  // would overrun it.
  struct TileShape {
    uint32_t width;
    uint32_t height;
    size_t size;
    size_t row_bytes;
  };
  TileShape CheckedTileShape();

  struct TiffCloser {
    void operator()(tiff* file) const;
  };
  struct RgbaImage;      // libtiff's renderer, begun on first use
  struct MemoryFile;     // the read position in a file held in memory
  struct StoredSamples;  // a page the reader maps itself: its layout and decoded rows

  std::string path_;
  std::unique_ptr<MemoryFile> memory_;  // before tiff_: it goes last
  std::unique_ptr<tiff, TiffCloser> tiff_;
  std::unique_ptr<RgbaImage> rgba_;   // after tiff_: it goes first
  bool undoes_differencing_ = false;  // ReadSampleRows, not libtiff, undoes the predictor
  std::unique_ptr<StoredSamples> stored_;
  Messages messages_;
  uint32_t most_damaged_lines_ = 0;  // of the passes before the current one
  TiffPage page_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_TIFF_READER_H_
