#include "converter/mapped_samples.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include <tiffio.h>

#include "converter/color_space.h"
#include "converter/conversion_failure.h"
#include "converter/rgb.h"

namespace ostrel {

MappedSampleReader::MappedSampleReader(TiffFile& file, const TiffPage& page)
    : file_(file), width_(page.width), height_(page.height) {}

std::unique_ptr<MappedSampleReader> MappedSampleReader::TakeOverFromRenderer(TiffFile& file,
                                                                             const TiffPage& page,
                                                                             uint16_t photometric,
                                                                             uint16_t compression) {
  TIFF* const handle = file.handle();
  const bool log_luminance =
      (photometric == PHOTOMETRIC_LOGL || photometric == PHOTOMETRIC_LOGLUV) &&
      (compression == COMPRESSION_SGILOG || compression == COMPRESSION_SGILOG24);
  // SGILog data decoded to floats: Y, or CIE XYZ.
  if (log_luminance && TIFFSetField(handle, TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT) == 0) {
    file.Fail(ConversionFailure::kUnsupportedTiff, "unsupported SGILog data in " + file.name());
  }
  uint16_t samples = 1;
  uint16_t bits = 1;
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t inkset = INKSET_CMYK;
  uint16_t extra_count = 0;
  uint16_t* extra_kinds = nullptr;
  TIFFGetFieldDefaulted(handle, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(handle, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(handle, TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(handle, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(handle, TIFFTAG_INKSET, &inkset);
  TIFFGetFieldDefaulted(handle, TIFFTAG_EXTRASAMPLES, &extra_count, &extra_kinds);
  const bool gray = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  Space space = Space::kGray;
  if (log_luminance) {
    space = photometric == PHOTOMETRIC_LOGL ? Space::kLuminance : Space::kXyz;
  } else if (photometric == PHOTOMETRIC_CIELAB && (bits == 8 || bits == 16)) {
    space = Space::kLab;
  } else if (photometric == PHOTOMETRIC_RGB) {
    space = Space::kRgb;
  } else if (photometric == PHOTOMETRIC_SEPARATED && inkset == INKSET_CMYK) {
    space = Space::kCmyk;
  } else if (!gray) {
    return nullptr;
  }
  const uint16_t channels = space == Space::kGray || space == Space::kLuminance ? 1
                            : space == Space::kCmyk                             ? 4
                                                                                : 3;
  if (samples < channels || compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) {
    return nullptr;
  }
  // What libtiff's renderer draws exactly stays with it; its CIELab and
  // SGILog colours are tinted (neutral samples do not come out gray).
  const bool unsigned_samples = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID;
  const bool renderer_depth = channels == 4 ? bits == 8 && samples == 4 : bits == 8 || bits == 16;
  if (unsigned_samples && renderer_depth && space != Space::kLab) {
    return nullptr;
  }
  std::unique_ptr<MappedSampleReader> reader(new MappedSampleReader(file, page));
  reader->type_ = SampleType{format == SAMPLEFORMAT_INT      ? SampleFormat::kSigned
                             : format == SAMPLEFORMAT_IEEEFP ? SampleFormat::kFloat
                                                             : SampleFormat::kUnsigned,
                             bits};
  if (!IsReadableSampleType(reader->type_) ||
      (!unsigned_samples && format != SAMPLEFORMAT_INT && format != SAMPLEFORMAT_IEEEFP)) {
    throw ConversionError(ConversionFailure::kUnsupportedTiff,
                          "unsupported TIFF image in " + file.name() + ": " + std::to_string(bits) +
                              "-bit samples of sample format " + std::to_string(format));
  }
  reader->samples_per_pixel_ = samples;
  reader->color_channels_ = channels;
  reader->space_ = space;
  reader->separate_planes_ = planar == PLANARCONFIG_SEPARATE && samples > 1;
  reader->min_is_white_ = photometric == PHOTOMETRIC_MINISWHITE;
  // The first extra sample is alpha as libtiff's renderer takes it: marked
  // so, or unspecified beside three colour samples or more.
  if (extra_count > 0 && samples > channels) {
    const uint16_t kind = extra_kinds[0];
    if (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA ||
        (kind == EXTRASAMPLE_UNSPECIFIED && samples > 3)) {
      reader->alpha_ = channels;
      reader->associated_alpha_ = kind != EXTRASAMPLE_UNASSALPHA;
    }
  }
  double low = 0;
  double high = 0;
  if (TIFFGetField(handle, TIFFTAG_SMINSAMPLEVALUE, &low) != 0 &&
      TIFFGetField(handle, TIFFTAG_SMAXSAMPLEVALUE, &high) != 0 && std::isfinite(low) &&
      std::isfinite(high) && high > low) {
    reader->declared_ = SampleRange{low, high, false};
  }

  const uint16_t plane_samples = reader->separate_planes_ ? 1 : samples;
  reader->row_bytes_ = (uint64_t{page.width} * bits * plane_samples + 7) / 8;
  uint32_t band_rows = 1;
  if (TIFFIsTiled(handle) != 0) {
    const TileShape shape = CheckedTileShape(file);
    if (uint64_t{shape.width} * bits * plane_samples != uint64_t{shape.row_bytes} * 8) {
      file.Fail(ConversionFailure::kDamagedTiff, "bad tile size in " + file.name());
    }
    band_rows = shape.height;
    reader->tile_shape_ = shape;
    reader->stride_ = (page.width + shape.width - 1) / shape.width * shape.row_bytes;
  } else {
    if (reader->separate_planes_) {
      TIFFGetFieldDefaulted(handle, TIFFTAG_ROWSPERSTRIP, &band_rows);
    }
    reader->stride_ = reader->row_bytes_;
    const tmsize_t scanline = TIFFScanlineSize(handle);
    if (scanline <= 0 || static_cast<size_t>(scanline) < reader->row_bytes_) {
      file.Fail(ConversionFailure::kDamagedTiff, "bad scanline size in " + file.name());
    }
  }
  band_rows = std::clamp<uint32_t>(band_rows, 1, page.height);
  const uint64_t band_bytes = uint64_t{band_rows} * reader->stride_;
  reader->plane_count_ = reader->separate_planes_ ? samples : 1;
  if (band_bytes * reader->plane_count_ > TiffFile::kMaxLibraryAllocation) {
    throw ConversionError(ConversionFailure::kUnsupportedTiff,
                          "strips of more than " + std::to_string(TiffFile::kMaxLibraryAllocation) +
                              " bytes in " + file.name());
  }
  reader->band_rows_ = band_rows;
  return reader;
}

double MappedSampleReader::Sample(const std::vector<std::span<const uint8_t>>& rows, uint32_t x,
                                  int sample) const {
  return separate_planes_ ? ReadSample(rows[sample], x, type_)
                          : ReadSample(rows[0], size_t{x} * samples_per_pixel_ + sample, type_);
}

std::span<const uint8_t> MappedSampleReader::DecodedRow(uint32_t row, uint16_t plane) {
  TIFF* const handle = file_.handle();
  if (planes_.empty()) {  // only now: the page's size has been checked
    planes_.assign(plane_count_, std::vector<uint8_t>(band_rows_ * stride_));
    tile_.resize(tile_shape_.size);
  }
  const uint32_t top = row / band_rows_ * band_rows_;
  if (band_top_ != top) {
    band_top_ = UINT32_MAX;  // until the whole band is in
    const uint32_t rows = std::min(band_rows_, height_ - top);
    for (uint16_t p = 0; p < planes_.size(); ++p) {
      uint8_t* band = planes_[p].data();
      if (TIFFIsTiled(handle) != 0) {
        const size_t tile_row_bytes = tile_shape_.row_bytes;
        for (uint32_t left = 0, across = 0; left < width_; left += tile_shape_.width, ++across) {
          file_.CheckDecoded(TIFFReadTile(handle, tile_.data(), left, top, 0, p) >= 0);
          for (uint32_t r = 0; r < rows; ++r) {
            std::memcpy(band + r * stride_ + across * tile_row_bytes,
                        tile_.data() + r * tile_row_bytes, tile_row_bytes);
          }
        }
      } else if (separate_planes_) {
        file_.CheckDecoded(TIFFReadEncodedStrip(handle, TIFFComputeStrip(handle, top, p), band,
                                                static_cast<tmsize_t>(rows * stride_)) >= 0);
      } else {
        // One scanline at a time: a page stored as one strip is never held.
        std::vector<uint8_t>& line = planes_[p];
        line.resize(std::max(line.size(), static_cast<size_t>(TIFFScanlineSize(handle))));
        file_.CheckDecoded(TIFFReadScanline(handle, line.data(), row, 0) >= 0);
      }
    }
    band_top_ = top;
  }
  return std::span<const uint8_t>(planes_[plane]).subspan((row - top) * stride_, row_bytes_);
}

void MappedSampleReader::ChooseScales() {
  if (scaled_) {
    return;
  }
  SampleRange seen;
  const bool own_formula =
      space_ == Space::kLab || space_ == Space::kLuminance || space_ == Space::kXyz;
  if (!own_formula && SampleScale::NeedsSeenRange(type_, declared_)) {
    // A first pass over the page for its lowest and highest values.
    std::vector<std::span<const uint8_t>> rows(plane_count_);
    for (uint32_t y = 0; y < height_; ++y) {
      for (uint16_t p = 0; p < rows.size(); ++p) {
        rows[p] = DecodedRow(y, p);
      }
      for (uint32_t x = 0; x < width_; ++x) {
        for (int channel = 0; channel < color_channels_; ++channel) {
          seen.Add(Sample(rows, x, channel));
        }
      }
    }
  }
  color_scale_ = SampleScale(type_, declared_, seen);
  alpha_scale_ = SampleScale::ForAlpha(type_, declared_);
  scaled_ = true;
}

void MappedSampleReader::ReadGrayRows(const std::function<void(std::span<const uint8_t>)>& visit) {
  ChooseScales();
  mapped_.resize(width_);
  std::vector<std::span<const uint8_t>> rows(plane_count_);
  for (uint32_t y = 0; y < height_; ++y) {
    rows[0] = DecodedRow(y, 0);
    for (uint32_t x = 0; x < width_; ++x) {
      const double value = Sample(rows, x, 0);
      mapped_[x] = space_ == Space::kLuminance ? SrgbLevel(value) : color_scale_.Map(value);
    }
    visit(mapped_);
  }
}

void MappedSampleReader::ReadRgbaRows(uint32_t top, std::span<uint32_t> pixels) {
  ChooseScales();
  std::vector<std::span<const uint8_t>> rows(plane_count_);
  const size_t row_count = pixels.size() / width_;
  for (size_t r = 0; r < row_count; ++r) {
    for (uint16_t p = 0; p < rows.size(); ++p) {
      rows[p] = DecodedRow(top + static_cast<uint32_t>(r), p);
    }
    uint32_t* out = pixels.data() + r * width_;
    for (uint32_t x = 0; x < width_; ++x) {
      uint8_t value[4] = {};
      for (int channel = 0; channel < color_channels_; ++channel) {
        value[channel] = color_scale_.Map(Sample(rows, x, channel));
      }
      uint32_t red = value[0];
      uint32_t green = value[0];
      uint32_t blue = value[0];
      if (space_ == Space::kLab || space_ == Space::kXyz || space_ == Space::kLuminance) {
        double xyz[3] = {};
        if (space_ == Space::kLab) {
          LabToXyz(LabOf(Sample(rows, x, 0), Sample(rows, x, 1), Sample(rows, x, 2), type_.bits),
                   xyz);
        } else {
          for (int channel = 0; channel < color_channels_; ++channel) {
            xyz[channel] = Sample(rows, x, channel);
          }
        }
        if (space_ == Space::kLuminance) {
          red = green = blue = SrgbLevel(xyz[0]);
        } else {
          const Rgb rgb = SrgbOfXyz(xyz);
          red = rgb.red;
          green = rgb.green;
          blue = rgb.blue;
        }
      } else if (color_channels_ == 1 && min_is_white_) {
        red = green = blue = 255u - value[0];
      } else if (color_channels_ == 3) {
        green = value[1];
        blue = value[2];
      } else if (color_channels_ == 4) {
        // As libtiff's renderer turns 8-bit CMYK into RGB.
        const uint32_t white = 255u - value[3];
        red = white * (255u - value[0]) / 255u;
        green = white * (255u - value[1]) / 255u;
        blue = white * (255u - value[2]) / 255u;
      }
      uint32_t alpha = 255;
      if (alpha_ >= 0) {
        alpha = alpha_scale_.Map(Sample(rows, x, alpha_));
        if (!associated_alpha_) {  // premultiplied, as the renderer does
          red = (red * alpha + 127) / 255;
          green = (green * alpha + 127) / 255;
          blue = (blue * alpha + 127) / 255;
        }
      }
      out[x] = red | green << 8 | blue << 16 | alpha << 24;
    }
  }
}

}  // namespace ostrel
