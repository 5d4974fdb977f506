// Pages whose samples the converter maps itself, where libtiff's renderer
// refuses them or misdraws them (deep, signed and float samples, CMYK beyond
// 8 bits or with alpha, CIELab, SGILog): their decoded rows, read through
// libtiff, mapped to 8-bit gray or to RGBA.
#ifndef OSTREL_CONVERTER_MAPPED_SAMPLES_H_
#define OSTREL_CONVERTER_MAPPED_SAMPLES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "converter/chunk_layout.h"
#include "converter/sample_mapping.h"
#include "converter/tiff_file.h"
#include "converter/tiff_page.h"

namespace ostrel {

class MappedSampleReader {
 public:
  // Takes `file`'s current page, of `page`'s size, from libtiff's renderer
  // when it is gray, RGB, CMYK, CIELab or SGILog and the renderer refuses
  // or would round its samples: tells libtiff to decode SGILog data to
  // floats (whether or not the page is then taken) and reads the samples'
  // layout. Returns null for pages the renderer draws as they are. Raises
  // kUnsupportedTiff for samples it cannot read, kDamagedTiff for a bad
  // tile or scanline size. `file` must outlive the reader.
  static std::unique_ptr<MappedSampleReader> TakeOverFromRenderer(TiffFile& file,
                                                                  const TiffPage& page,
                                                                  uint16_t photometric,
                                                                  uint16_t compression);

  // Whether the page reads as 8-bit gray: one colour sample and no alpha.
  bool ReadsAsGray() const { return color_channels_ == 1 && alpha_ < 0; }

  // Visits the rows in order mapped to 8-bit gray; for pages ReadsAsGray.
  // Raises kDamagedTiff.
  void ReadGrayRows(const std::function<void(std::span<const uint8_t>)>& visit);
  // Maps the rows from `top` on, as many as `pixels` holds whole rows, to
  // RGBA as libtiff's renderer gives it (colour premultiplied by alpha).
  // Raises kDamagedTiff.
  void ReadRgbaRows(uint32_t top, std::span<uint32_t> pixels);

 private:
  MappedSampleReader(TiffFile& file, const TiffPage& page);

  // One decoded row of `plane`, from the band that holds it, decoded anew
  // when the band changes.
  std::span<const uint8_t> DecodedRow(uint32_t row, uint16_t plane);
  // Chooses the samples' scales once, on a first pass over the page where
  // they depend on the values it holds.
  void ChooseScales();
  double Sample(const std::vector<std::span<const uint8_t>>& rows, uint32_t x, int sample) const;

  TiffFile& file_;
  uint32_t width_;
  uint32_t height_;
  SampleType type_;
  uint16_t samples_per_pixel_ = 1;
  // How the colour samples are read: kGray, kRgb and kCmyk by the scales,
  // the others by their colour spaces' own formulas.
  enum class Space { kGray, kRgb, kCmyk, kLab, kLuminance, kXyz } space_ = Space::kGray;
  uint16_t color_channels_ = 1;
  int alpha_ = -1;  // the alpha sample's index, if any
  bool associated_alpha_ = false;
  bool separate_planes_ = false;
  bool min_is_white_ = false;
  std::optional<SampleRange> declared_;  // SMinSampleValue to SMaxSampleValue
  bool scaled_ = false;
  SampleScale color_scale_;
  SampleScale alpha_scale_;
  // The decoded band: one scanline, one strip or one row of tiles of each
  // plane, `stride_` bytes a row.
  uint32_t band_top_ = UINT32_MAX;
  uint32_t band_rows_ = 0;
  size_t stride_ = 0;
  size_t row_bytes_ = 0;  // of one plane's row
  uint16_t plane_count_ = 1;
  TileShape tile_shape_{};                    // of a tiled page
  std::vector<std::vector<uint8_t>> planes_;  // allocated on first use
  std::vector<uint8_t> tile_;
  std::vector<uint8_t> mapped_;  // one row of 8-bit gray
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_MAPPED_SAMPLES_H_
