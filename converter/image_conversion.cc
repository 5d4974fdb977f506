#include "converter/image_conversion.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "converter/allowed_source.h"
#include "converter/area_reduction.h"
#include "converter/background_survey.h"
#include "converter/color_reduction.h"
#include "converter/conversion_failure.h"
#include "converter/exact_colors.h"
#include "converter/image_sink.h"
#include "converter/image_size.h"
#include "converter/orientation.h"
#include "converter/oriented_frame.h"
#include "converter/palette.h"
#include "converter/region_geometry.h"
#include "converter/rgb.h"
#include "converter/row_pipeline.h"
#include "converter/sample_indices.h"
#include "converter/tiff_file.h"
#include "converter/tiff_page.h"
#include "converter/tiff_reader.h"
#include "converter/view_geometry.h"
#include "platform/atomic_file.h"
#include "platform/file.h"

namespace ostrel {
namespace {

// An 8-bit palette page, which is otherwise streamed, is held only up to
// this many pixels (4 MiB of indices), so that its memory stays bounded.
constexpr uint64_t kMaxHeldPalettePixels = 4 << 20;

// A frame of averaged RGBA pixels (a page made smaller, or a region) is held
// between its survey and its writing only up to this many pixels (16 MiB);
// a larger one is averaged again, so that its memory does not grow with
// the size asked for.
constexpr uint64_t kMaxHeldAveragedPixels = 4 << 20;

// Palette entries a colour page is taken to need: more than a GIF's colour
// table holds, so that it always takes the colour path, which chooses its
// palette.
constexpr int kColorPageEntries = 257;

// Whether a page of `rows` is large enough to repay a worker thread that
// writes the image while this one decodes.
bool Pipelined(ImageSize rows, const ConversionTuning& tuning) {
  return uint64_t{rows.width} * rows.height >= tuning.min_pipelined_pixels;
}

std::span<const uint8_t> AsBytes(std::span<const uint32_t> pixels) {
  return {reinterpret_cast<const uint8_t*>(pixels.data()), pixels.size_bytes()};
}

// Rows of RGBA pixels as the bytes that carry them; the bytes are always
// those of uint32_t pixels.
std::span<const uint32_t> AsPixels(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const uint32_t*>(bytes.data()), bytes.size() / 4};
}

// Hands each row to a function: for the producers of rows that are
// written with a lambda.
class RowVisitor : public IndexedRowSink {
 public:
  explicit RowVisitor(std::function<void(std::span<const uint8_t>)> visit)
      : visit_(std::move(visit)) {}
  void PutRow(std::span<const uint8_t> row) override { visit_(row); }

 private:
  std::function<void(std::span<const uint8_t>)> visit_;
};

// Passes the display rows that `pass` gives to `writer`, through a worker
// thread when a frame of `stored` size repays one, then finishes the image.
// `display_row_bytes`: the bytes of a display row.
void WriteRows(ImageSize stored, size_t display_row_bytes, ImageWriter& writer,
               const ConversionTuning& tuning,
               const std::function<void(IndexedRowSink& rows)>& pass) {
  if (Pipelined(stored, tuning)) {
    RowPipeline pipeline(static_cast<uint32_t>(display_row_bytes), writer,
                         tuning.pipeline_block_bytes);
    pass(pipeline);
    pipeline.Finish();
  } else {
    pass(writer);
  }
  writer.Finish();
}

// Writes an image of indices into `palette`: the stored rows of `frame`,
// shown as `orientation` says.
void WriteIndexedImage(uint16_t orientation, const StoredFrame& frame,
                       const IndexedPalette& palette, ImageSink& sink,
                       const ConversionTuning& tuning) {
  const ImageSize display = DisplaySize(orientation, frame.size);
  const std::unique_ptr<ImageWriter> writer = sink.StartIndexed(display, palette);
  WriteRows(frame.size, display.width, *writer, tuning, [&](IndexedRowSink& rows) {
    PassOrientedRows(orientation, frame, tuning.max_turned_bytes, rows);
  });
}

// Writes an image of RGBA pixels as they are (a format that keeps more
// colours than a palette holds): the rows of `frame`, shown as
// `orientation` says. `transparent`: some pixel may be less than opaque.
// `held`: reading the frame again costs little, so turning it holds next
// to nothing.
void WriteRgbaImage(uint16_t orientation, const StoredFrame& frame, bool held, bool transparent,
                    ImageSink& sink, const ConversionTuning& tuning) {
  const ImageSize display = DisplaySize(orientation, frame.size);
  const std::unique_ptr<ImageWriter> writer = sink.StartRgba(display, transparent);
  WriteRows(frame.size, size_t{display.width} * 4, *writer, tuning, [&](IndexedRowSink& rows) {
    PassOrientedRows(orientation, frame, held ? 0 : tuning.max_turned_bytes, rows);
  });
}

// The survey a colour page needs before it is written, as its sink treats
// colour: a palette chosen by ColorReduction (GIF), the page's own colours
// (PNG), or none, the pixels going as they are (JPEG).
class ColorSurvey {
 public:
  ColorSurvey(ColorTreatment treatment, const ConversionOptions& parameters, uint32_t width) {
    if (treatment == ColorTreatment::kReducedPalette) {
      reduction_.emplace(parameters.colors, parameters.dither, width);
    } else if (treatment == ColorTreatment::kExact) {
      exact_.emplace();
    }
  }

  bool needed() const { return reduction_ || exact_; }

  // Each pixel of the page once, in any grouping; only when needed().
  void Survey(std::span<const uint32_t> pixels) {
    if (reduction_) {
      reduction_->Survey(pixels);
    } else {
      exact_->Survey(pixels);
    }
  }

  // After the survey: whether the page is written as indices into
  // Palette(), each row mapped by MapRow, from the top, after
  // RestartMapping; else as RGBA pixels, transparent or not.
  bool indexed() const { return reduction_ || (exact_ && exact_->fits()); }
  bool transparent() const { return !exact_ || exact_->transparent(); }
  IndexedPalette Palette() { return reduction_ ? reduction_->ChoosePalette() : exact_->Palette(); }
  void RestartMapping() {
    if (reduction_) {
      reduction_->RestartMapping();
    }
  }
  void MapRow(std::span<const uint32_t> row, std::span<uint8_t> indices) {
    if (reduction_) {
      reduction_->MapRow(row, indices);
    } else {
      exact_->MapRow(row, indices);
    }
  }

 private:
  std::optional<ColorReduction> reduction_;
  std::optional<ExactColors> exact_;
};

// Writes a surveyed colour page, the RGBA pixels of `rgba`, as the survey
// decided: indices into its palette, or the pixels as they are. `held`:
// reading `rgba` again costs little.
void WriteColorPage(uint16_t orientation, const StoredFrame& rgba, bool held, ColorSurvey& survey,
                    ImageSink& sink, const ConversionTuning& tuning) {
  if (!survey.indexed()) {
    WriteRgbaImage(orientation, rgba, held, survey.transparent(), sink, tuning);
    return;
  }
  const IndexedPalette palette = survey.Palette();
  std::vector<uint8_t> indices(rgba.size.width);
  // Rows are mapped from the top, whatever part is asked for: the error
  // diffused into a row comes from the rows above it.
  const StoredFrame frame{.size = rgba.size,
                          .form = PixelForm::kIndex,
                          .rows = [&](const PixelRect& window, IndexedRowSink& rows) {
                            survey.RestartMapping();
                            RowsInWindow part(window, PixelForm::kIndex, rows);
                            RowVisitor mapped([&](std::span<const uint8_t> row) {
                              survey.MapRow(AsPixels(row), indices);
                              part.PutRow(indices);
                            });
                            rgba.rows({0, 0, rgba.size.width, window.y + window.height}, mapped);
                          }};
  WriteIndexedImage(orientation, frame, palette, sink, tuning);
}

// Bilevel, gray and palette pages: stored rows, straight into the encoder,
// one scanline or row of tiles at a time; bilevel ones turned packed, one
// bit a pixel.
void ConvertSamplePage(TiffReader& reader, uint16_t orientation, ImageSink& sink,
                       const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const bool packed = page.bits_per_sample == 1;
  std::vector<uint8_t> indices;
  const StoredFrame frame{.size = {page.width, page.height},
                          .form = packed ? PixelForm::kPackedBit : PixelForm::kIndex,
                          .rows = [&](const PixelRect& window, IndexedRowSink& rows) {
                            indices.resize(window.width);
                            reader.ReadSampleRows(window, [&](std::span<const uint8_t> samples) {
                              if (packed) {
                                rows.PutRow(samples);
                                return;
                              }
                              UnpackSamples(samples, page.bits_per_sample, indices);
                              rows.PutRow(indices);
                            });
                          }};
  WriteIndexedImage(orientation, frame, SamplePalette(page), sink, tuning);
}

// 8-bit palette pages. Their colormaps often use a few of their 256 entries,
// or repeat colours: a colour table cut to the colours the pixels show gives
// shorter codes. Which those are is known once the page has been read: up
// to `tuning.max_held_pixels`, and never beyond kMaxHeldPalettePixels, it is held,
// one byte a pixel, and read once; a larger one is read twice, so that its
// memory does not grow with its size.
void ConvertPalettePage(TiffReader& reader, uint16_t orientation, ImageSink& sink,
                        const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const size_t width = page.width;
  const bool hold = uint64_t{page.width} * page.height <=
                    std::min<uint64_t>(tuning.max_held_pixels, kMaxHeldPalettePixels);
  std::vector<uint8_t> held(hold ? width * page.height : 0);
  std::array<bool, 256> used{};
  size_t rows_read = 0;
  reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
    MarkUsedSamples(samples, used);
    if (hold) {
      std::copy_n(samples.begin(), width, held.begin() + rows_read++ * width);
    }
  });
  const CutColormap cut = CutToUsedColors(page.colormap, used);
  std::vector<uint8_t> indices;
  const StoredFrame frame{
      .size = {page.width, page.height},
      .form = PixelForm::kIndex,
      .rows = [&](const PixelRect& window, IndexedRowSink& rows) {
        indices.resize(window.width);
        const auto put = [&](std::span<const uint8_t> samples) {
          for (size_t x = 0; x < indices.size(); ++x) {
            indices[x] = cut.position[samples[x]];
          }
          rows.PutRow(indices);
        };
        if (!hold) {
          reader.ReadSampleRows(window, put);
          return;
        }
        for (uint32_t y = window.y; y < window.y + window.height; ++y) {
          put(std::span<const uint8_t>(held).subspan(y * width + window.x, window.width));
        }
      }};
  WriteIndexedImage(orientation, frame, IndexedPalette{cut.colors, std::nullopt}, sink, tuning);
}

// Everything else: rendered to RGBA by libtiff, surveyed as the format
// needs (for a palette, or for its own colours), then written.
void ConvertColorPage(TiffReader& reader, const ConversionOptions& parameters, uint16_t orientation,
                      ImageSink& sink, const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const size_t width = page.width;
  const uint32_t band_rows = reader.RgbaBandRows();
  ColorSurvey colors(sink.color_treatment(), parameters, page.width);
  // Held, the frame is decoded once; a single band is the whole frame
  // anyway. Without a survey, its pixels going as they are, it is read once
  // in any case, and held only where the orientation needs the whole frame.
  const uint64_t frame_bytes = uint64_t{page.width} * page.height * sizeof(uint32_t);
  const bool fits = uint64_t{page.width} * page.height <= tuning.max_held_pixels &&
                    (frame_bytes <= tuning.min_held_bytes_at_any_ratio ||
                     frame_bytes / tuning.max_held_bytes_per_stored_byte <= reader.stored_bytes());
  const bool hold = (fits || band_rows == page.height) && (colors.needed() || orientation >= 3);
  std::vector<uint32_t> held(hold ? width * page.height : 0);

  if (colors.needed() || hold) {
    std::vector<uint32_t> band(hold ? 0 : width * band_rows);
    const auto band_at = [&](uint32_t top) {
      const size_t rows = std::min(band_rows, page.height - top);
      return hold ? std::span<uint32_t>(held).subspan(top * width, rows * width)
                  : std::span<uint32_t>(band).first(rows * width);
    };
    // A held frame of several bands is surveyed on a worker thread, band by
    // band behind the decoding, when it is large enough to repay starting
    // one.
    std::optional<BackgroundSurvey> survey;
    if (colors.needed() && hold && band_rows < page.height &&
        uint64_t{page.width} * page.height >= tuning.min_pipelined_pixels) {
      survey.emplace(held,
                     [&colors](std::span<const uint32_t> decoded) { colors.Survey(decoded); });
    }
    for (uint32_t top = 0; top < page.height; top += band_rows) {
      const std::span<uint32_t> pixels = band_at(top);
      reader.ReadRgbaRows(top, pixels);
      if (survey) {
        survey->Decoded(static_cast<size_t>(pixels.data() - held.data()) + pixels.size());
      } else if (colors.needed()) {
        colors.Survey(pixels);
      }
    }
    if (survey) {
      survey->Finish();
    }
  }
  // The second pass: the held frame, or the page read again.
  const StoredFrame rgba{.size = {page.width, page.height},
                         .form = PixelForm::kRgba,
                         .rows = [&](const PixelRect& window, IndexedRowSink& rows) {
                           if (!hold) {
                             reader.ReadRgbaWindow(window, [&](std::span<const uint32_t> pixels) {
                               rows.PutRow(AsBytes(pixels));
                             });
                             return;
                           }
                           for (uint32_t y = window.y; y < window.y + window.height; ++y) {
                             rows.PutRow(AsBytes(std::span<const uint32_t>(held).subspan(
                                 y * width + window.x, window.width)));
                           }
                         }};
  WriteColorPage(orientation, rgba, hold, colors, sink, tuning);
}

// `levels` grays evenly spaced from black to white.
IndexedPalette GrayLevels(int levels) {
  IndexedPalette palette;
  const auto top = static_cast<uint64_t>(levels - 1);
  for (uint64_t level = 0; level <= top; ++level) {
    const auto gray = static_cast<uint8_t>(RoundedMeans(top, 255)(level));
    palette.colors.push_back(Rgb{gray, gray, gray});
  }
  return palette;
}

// The colour each stored sample of a bilevel, gray or palette page shows,
// as a libtiff RGBA pixel (see TiffReader); 16-bit samples are rounded to 8
// bits first.
std::array<uint32_t, 256> SampleRgba(const TiffPage& page) {
  const Palette colors = SamplePalette(page).colors;
  std::array<uint32_t, 256> rgba{};
  for (size_t i = 0; i < colors.size() && i < rgba.size(); ++i) {
    rgba[i] = 0xff000000u | uint32_t{colors[i].blue} << 16 | uint32_t{colors[i].green} << 8 |
              colors[i].red;
  }
  return rgba;
}

// The luminance of a libtiff RGBA pixel, rounded.
uint8_t Luminance(uint32_t pixel) {
  const uint32_t red = pixel & 0xff;
  const uint32_t green = pixel >> 8 & 0xff;
  const uint32_t blue = pixel >> 16 & 0xff;
  return static_cast<uint8_t>((299 * red + 587 * green + 114 * blue + 500) / 1000);
}

// A region of a bilevel page, or the whole page made smaller: exact, black
// and white, turned packed, one bit a pixel; reduced or stretched, the
// share of white as one of `levels` grays; bitonal, white where it is at
// least half.
void ConvertBilevelRegion(TiffReader& reader, const RegionGeometry& region, Quality quality,
                          int levels, ImageSink& sink, const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const bool bitonal = quality == Quality::kBitonal || region.exact;
  const int used_levels = bitonal ? 2 : levels;
  const uint64_t total = region.across.step * region.down.step;
  const RoundedMeans level_of(total, static_cast<uint64_t>(used_levels - 1));
  std::vector<uint8_t> indices;
  // Exact, white is 1 as stored, or with every bit flipped.
  const StoredFrame exact{.size = {region.across.target, region.down.target},
                          .form = PixelForm::kPackedBit,
                          .rows = [&](const PixelRect& part, IndexedRowSink& rows) {
                            reader.ReadSampleRows(RegionPart(region, part).window,
                                                  [&](std::span<const uint8_t> samples) {
                                                    if (!page.min_is_white) {
                                                      rows.PutRow(samples);
                                                      return;
                                                    }
                                                    indices.resize(samples.size());
                                                    for (size_t i = 0; i < samples.size(); ++i) {
                                                      indices[i] =
                                                          static_cast<uint8_t>(~samples[i]);
                                                    }
                                                    rows.PutRow(indices);
                                                  });
                          }};
  const StoredFrame averaged{
      .size = exact.size,
      .form = PixelForm::kIndex,
      .rows = [&](const PixelRect& part_wanted, IndexedRowSink& rows) {
        const RegionGeometry part = RegionPart(region, part_wanted);
        indices.resize(part_wanted.width);
        AreaReduction reduction(part.across, part.down, 1, [&](std::span<const uint64_t> ones) {
          for (size_t x = 0; x < indices.size(); ++x) {
            const uint64_t white = page.min_is_white ? total - ones[x] : ones[x];
            indices[x] = bitonal ? static_cast<uint8_t>(white * 2 >= total)
                                 : static_cast<uint8_t>(level_of(white));
          }
          rows.PutRow(indices);
        });
        reader.ReadSampleRows(
            part.window, [&](std::span<const uint8_t> samples) { reduction.AddBitRow(samples); });
      }};
  WriteIndexedImage(region.orientation, region.exact ? exact : averaged, GrayLevels(used_levels),
                    sink, tuning);
}

// A region of any other page, or the whole page made smaller, averaged: a
// gray page, or any page asked for gray or bitonal, as grays (streamed
// where the format takes 256 of them); palette and colour pages as RGBA,
// surveyed, then written like a colour page: held between the two up to
// kMaxHeldAveragedPixels, else averaged again.
void ConvertSampledRegion(TiffReader& reader, const ConversionOptions& parameters,
                          const RegionGeometry& region, int colors, ImageSink& sink,
                          const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const ImageSize output{region.across.target, region.down.target};
  const bool gray_page = page.kind == PageKind::kGray;
  const bool grays = gray_page || parameters.quality != Quality::kColor;
  const bool bitonal = parameters.quality == Quality::kBitonal;
  const bool streamed = grays && (bitonal || colors >= 256);
  const std::array<uint32_t, 256> rgba = SampleRgba(page);
  const int channels = gray_page ? 1 : 4;
  const RoundedMeans mean_of(region.across.step * region.down.step, 1);
  std::vector<uint8_t> indices;
  std::vector<uint32_t> pixels;
  std::vector<uint8_t> samples_unpacked;
  std::vector<uint8_t> values;
  std::vector<uint32_t> sample_pixels;
  // Visits the output rows of `part_wanted`: grays one byte a pixel (0 or
  // 1 when streamed bitonal), or RGBA pixels.
  const auto average = [&](const PixelRect& part_wanted,
                           const std::function<void(std::span<const uint8_t>)>& visit) {
    const RegionGeometry part = RegionPart(region, part_wanted);
    indices.resize(part_wanted.width);
    pixels.resize(part_wanted.width);
    const auto put_grays = [&] {
      if (streamed) {
        if (bitonal) {
          for (uint8_t& gray : indices) {
            gray = gray >= 128 ? 1 : 0;
          }
        }
        visit(indices);
        return;
      }
      for (size_t x = 0; x < indices.size(); ++x) {
        const uint8_t shown = bitonal ? (indices[x] >= 128 ? 255 : 0) : indices[x];
        pixels[x] = 0xff000000u | uint32_t{shown} * 0x010101u;
      }
      visit(AsBytes(pixels));
    };
    AreaReduction reduction(part.across, part.down, channels, [&](std::span<const uint64_t> sums) {
      if (gray_page) {
        for (size_t x = 0; x < indices.size(); ++x) {
          indices[x] = static_cast<uint8_t>(mean_of(sums[x]));
        }
        put_grays();
        return;
      }
      for (size_t x = 0; x < indices.size(); ++x) {
        uint32_t pixel = 0;
        for (int channel = 0; channel < 4; ++channel) {
          pixel |= static_cast<uint32_t>(mean_of(sums[x * 4 + channel])) << (8 * channel);
        }
        if (grays) {
          indices[x] = Luminance(pixel);
        } else {
          pixels[x] = pixel;
        }
      }
      if (grays) {
        put_grays();
      } else {
        visit(AsBytes(pixels));
      }
    });
    const PixelRect& window = part.window;
    if (page.kind == PageKind::kColor) {
      reader.ReadRgbaWindow(window,
                            [&](std::span<const uint32_t> read) { reduction.AddRgbaRow(read); });
      return;
    }
    samples_unpacked.resize(window.width);
    values.resize(window.width);
    sample_pixels.resize(window.width);
    reader.ReadSampleRows(window, [&](std::span<const uint8_t> samples) {
      UnpackSamples(samples, page.bits_per_sample, samples_unpacked);
      if (gray_page) {
        for (size_t x = 0; x < values.size(); ++x) {
          values[x] = static_cast<uint8_t>(rgba[samples_unpacked[x]]);
        }
        reduction.AddByteRow(values);
      } else {
        for (size_t x = 0; x < sample_pixels.size(); ++x) {
          sample_pixels[x] = rgba[samples_unpacked[x]];
        }
        reduction.AddRgbaRow(sample_pixels);
      }
    });
  };
  const PixelRect whole{0, 0, output.width, output.height};
  if (streamed) {
    const StoredFrame frame{.size = output,
                            .form = PixelForm::kIndex,
                            .rows = [&](const PixelRect& part, IndexedRowSink& rows) {
                              average(part,
                                      [&](std::span<const uint8_t> row) { rows.PutRow(row); });
                            }};
    WriteIndexedImage(region.orientation, frame, GrayLevels(bitonal ? 2 : 256), sink, tuning);
    return;
  }
  ColorSurvey survey(sink.color_treatment(), parameters, output.width);
  const bool hold = uint64_t{output.width} * output.height <=
                        std::min(tuning.max_held_pixels, kMaxHeldAveragedPixels) &&
                    (survey.needed() || region.orientation >= 3);
  std::vector<uint32_t> held(hold ? size_t{output.width} * output.height : 0);
  if (survey.needed() || hold) {
    size_t filled = 0;
    average(whole, [&](std::span<const uint8_t> row) {
      const std::span<const uint32_t> row_pixels = AsPixels(row);
      if (hold) {
        std::copy(row_pixels.begin(), row_pixels.end(), held.begin() + filled);
        filled += row_pixels.size();
      } else {
        survey.Survey(row_pixels);
      }
    });
    if (hold && survey.needed()) {
      survey.Survey(held);
    }
  }
  const StoredFrame frame{.size = output,
                          .form = PixelForm::kRgba,
                          .rows = [&](const PixelRect& part, IndexedRowSink& rows) {
                            if (!hold) {
                              average(part,
                                      [&](std::span<const uint8_t> row) { rows.PutRow(row); });
                              return;
                            }
                            for (uint32_t y = part.y; y < part.y + part.height; ++y) {
                              rows.PutRow(AsBytes(std::span<const uint32_t>(held).subspan(
                                  size_t{y} * output.width + part.x, part.width)));
                            }
                          }};
  WriteColorPage(region.orientation, frame, hold, survey, sink, tuning);
}

// Raises kImageTooLarge when a `width` x `height` image of `source` has more
// than `max_pixels` pixels or a side longer than the format takes.
void CheckImageSize(uint32_t width, uint32_t height, uint64_t max_pixels, const std::string& source,
                    const ImageSink& sink) {
  const std::string size =
      std::to_string(width) + " x " + std::to_string(height) + " pixels in " + source;
  if (uint64_t{width} * height > max_pixels) {
    throw ConversionError(
        ConversionFailure::kImageTooLarge,
        "image too large: " + size + ", the limit is " + std::to_string(max_pixels));
  }
  if (width > sink.max_side() || height > sink.max_side()) {
    throw ConversionError(ConversionFailure::kImageTooLarge,
                          "image too large: " + size + ", " + std::string(sink.max_side_reason()));
  }
}

// Raises kImageTooLarge when a page other than a bilevel one decodes to
// more than both `tuning.max_decoded_bytes_at_any_ratio` and
// kMostDecodedBytesPerStoredByte times the bytes its strips or tiles hold.
void CheckDecodedBytes(const TiffReader& reader, const std::string& source,
                       const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const uint64_t decoded = reader.decoded_bytes();
  const uint64_t stored = reader.stored_bytes();
  if (page.kind == PageKind::kBilevel || decoded <= tuning.max_decoded_bytes_at_any_ratio ||
      decoded / kMostDecodedBytesPerStoredByte < stored) {
    return;
  }
  throw ConversionError(ConversionFailure::kImageTooLarge,
                        "image too large: " + std::to_string(page.width) + " x " +
                            std::to_string(page.height) + " pixels in " + source + " decode to " +
                            std::to_string(decoded) + " bytes, over " +
                            std::to_string(kMostDecodedBytesPerStoredByte) + " times the " +
                            std::to_string(stored) + " bytes stored");
}

}  // namespace

bool AsksForRegion(const ConversionOptions& parameters) {
  return parameters.region || parameters.size || parameters.mirror ||
         parameters.quality != Quality::kColor || parameters.stretch_pixels;
}

void ConvertPage(TiffReader& reader, const ConversionOptions& parameters, const ByteSink& bytes,
                 const ConversionTuning& tuning) {
  const std::unique_ptr<ImageSink> image_sink = MakeImageSink(parameters, bytes);
  ImageSink& sink = *image_sink;
  const TiffPage& page = reader.page();
  CheckImageSize(page.width, page.height, parameters.max_pixels, parameters.source, sink);
  CheckDecodedBytes(reader, parameters.source, tuning);
  // Only a reduced palette is limited; other formats keep every colour.
  const int colors =
      sink.color_treatment() == ColorTreatment::kReducedPalette ? parameters.colors : 256;
  if (AsksForRegion(parameters)) {
    const RegionGeometry region = PlanRegion(page, parameters);
    const ImageSize shown =
        DisplaySize(region.orientation, {region.across.target, region.down.target});
    CheckImageSize(shown.width, shown.height, parameters.max_pixels, parameters.source, sink);
    if (page.kind == PageKind::kBilevel) {
      ConvertBilevelRegion(reader, region, parameters.quality, std::min(parameters.grays, colors),
                           sink, tuning);
    } else {
      ConvertSampledRegion(reader, parameters, region, colors, sink, tuning);
    }
    return;
  }
  const ViewGeometry view = PlanView(page, parameters);
  if (view.reduces()) {
    // The whole page averaged, as a region of it is.
    const RegionGeometry whole = WholePageAt(view);
    if (page.kind == PageKind::kBilevel) {
      ConvertBilevelRegion(reader, whole, Quality::kColor, std::min(parameters.grays, colors), sink,
                           tuning);
    } else {
      ConvertSampledRegion(reader, parameters, whole, colors, sink, tuning);
    }
    return;
  }
  // Pages that need more palette entries than allowed take the colour path,
  // which reduces them.
  const int sample_entries = page.kind == PageKind::kColor ? kColorPageEntries
                             : page.bits_per_sample >= 8   ? 256
                                                           : 1 << page.bits_per_sample;
  if (sample_entries > colors) {
    ConvertColorPage(reader, parameters, view.orientation, sink, tuning);
  } else if (page.kind == PageKind::kPalette && page.bits_per_sample == 8) {
    ConvertPalettePage(reader, view.orientation, sink, tuning);
  } else {
    ConvertSamplePage(reader, view.orientation, sink, tuning);
  }
}

std::string ConvertImage(const ConversionOptions& parameters, const ConversionTuning& tuning) {
  // The output first: an unwritable destination fails before any decoding,
  // and from here on any failure removes an older file at dest.
  AtomicFile output = WithFailureKind(ConversionFailure::kCannotWriteDestination,
                                      [&] { return AtomicFile(parameters.dest); });
  // Counted as they are written, the image's bytes never pass the bound,
  // in the file or on disk, whatever the image turns out to take.
  uint64_t written = 0;
  const ByteSink sink = [&](std::string_view bytes) {
    written += bytes.size();
    if (parameters.max_image_bytes != 0 && written > parameters.max_image_bytes) {
      throw ConversionError(ConversionFailure::kImageTooLarge,
                            "image too large: the image of " + parameters.source +
                                " takes more than " + std::to_string(parameters.max_image_bytes) +
                                " bytes, the limit");
    }
    WithFailureKind(ConversionFailure::kCannotWriteDestination, [&] { output.Write(bytes); });
  };
  TiffReader reader(TiffFile::FromOpenedFile(OpenAllowedSource(parameters), parameters.source),
                    parameters.page);
  ConvertPage(reader, parameters, sink, tuning);
  WithFailureKind(ConversionFailure::kCannotWriteDestination, [&] { output.Commit(); });
  const uint32_t damaged = reader.DamagedLines();
  if (damaged == 0) {
    return {};
  }
  return std::to_string(damaged) + (damaged == 1 ? " damaged line" : " damaged lines") + " of " +
         parameters.source + " filled in";
}

}  // namespace ostrel
