#include "converter/image_conversion.h"

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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

// A region turned a quarter is held to be turned only up to this many
// pixels (4 MiB of indices), so that any region of a large page stays
// within its memory bound.
constexpr uint64_t kMaxHeldRegionPixels = 4 << 20;

// Palette entries a colour page is taken to need: more than a GIF's colour
// table holds, so that it always takes the colour path, which chooses its
// palette.
constexpr int kColorPageEntries = 257;

// Whether a page of `rows` is large enough to repay a worker thread that
// writes the image while this one decodes.
bool Pipelined(ImageSize rows, const ConversionTuning& tuning) {
  return uint64_t{rows.width} * rows.height >= tuning.min_pipelined_pixels;
}

// A page's stored rows of palette indices on their way into the image: put
// into display order, then written, on a worker thread when the page is
// large enough to repay starting one.
class IndexedImage {
 public:
  // Rows of `rows` size, shown as `orientation` says.
  IndexedImage(uint16_t orientation, ImageSize rows, const IndexedPalette& palette, ImageSink& sink,
               const ConversionTuning& tuning)
      : display_(DisplaySize(orientation, rows)),
        writer_(sink.StartIndexed(display_, palette)),
        pipeline_(Pipelined(rows, tuning)
                      ? std::make_unique<RowPipeline>(display_.width, *writer_,
                                                      tuning.pipeline_block_bytes)
                      : nullptr),
        oriented_(orientation, rows, Encoder()) {}

  void PutRow(std::span<const uint8_t> stored_row) { oriented_.PutRow(stored_row); }

  // After the last row: the image's last bytes. Raises what the encoder or
  // the sink raised, on either thread.
  void Finish() {
    if (pipeline_) {
      pipeline_->Finish();
    }
    writer_->Finish();
  }

 private:
  IndexedRowSink& Encoder() {
    if (pipeline_) {
      return *pipeline_;
    }
    return *writer_;
  }

  ImageSize display_;
  std::unique_ptr<ImageWriter> writer_;
  std::unique_ptr<RowPipeline> pipeline_;  // its worker stops before writer_ goes
  OrientedRows oriented_;
};

// A page of RGBA pixels written as they are (a format that keeps more
// colours than a palette holds), in display order, on a worker thread when
// the page is large enough. `transparent`: some pixel may be less than
// opaque.
void WriteRgbaImage(uint16_t orientation, const RgbaBands& bands, bool transparent, ImageSink& sink,
                    const ConversionTuning& tuning) {
  const ImageSize display = DisplaySize(orientation, bands.stored);
  const std::unique_ptr<ImageWriter> writer = sink.StartRgba(display, transparent);
  const std::unique_ptr<RowPipeline> pipeline =
      Pipelined(bands.stored, tuning)
          ? std::make_unique<RowPipeline>(display.width * 4, *writer, tuning.pipeline_block_bytes)
          : nullptr;
  // A page that is not held and must be turned is read once for each block
  // of columns, a block taking as much memory as the GIF's frame of
  // indices would (one byte a pixel): four passes.
  const uint64_t most_block_pixels = uint64_t{bands.stored.width} * bands.stored.height / 4;
  if (pipeline) {
    PassOrientedRgbaRows(orientation, bands, most_block_pixels, *pipeline);
    pipeline->Finish();
  } else {
    PassOrientedRgbaRows(orientation, bands, most_block_pixels, *writer);
  }
  writer->Finish();
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
  // Palette(), each row mapped by MapRow; else as RGBA pixels, transparent
  // or not.
  bool indexed() const { return reduction_ || (exact_ && exact_->fits()); }
  bool transparent() const { return !exact_ || exact_->transparent(); }
  IndexedPalette Palette() { return reduction_ ? reduction_->ChoosePalette() : exact_->Palette(); }
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

// Writes a surveyed colour page, whose stored rows `bands` reads, as the
// survey decided: indices into its palette, or the pixels as they are.
void WriteColorPage(uint16_t orientation, const RgbaBands& bands, ColorSurvey& survey,
                    ImageSink& sink, const ConversionTuning& tuning) {
  if (!survey.indexed()) {
    WriteRgbaImage(orientation, bands, survey.transparent(), sink, tuning);
    return;
  }
  const size_t width = bands.stored.width;
  IndexedImage image(orientation, bands.stored, survey.Palette(), sink, tuning);
  std::vector<uint8_t> indices(width);
  for (uint32_t top = 0; top < bands.stored.height; top += bands.band_rows) {
    const std::span<const uint32_t> band = bands.band(top);
    for (size_t start = 0; start < band.size(); start += width) {
      survey.MapRow(band.subspan(start, width), indices);
      image.PutRow(indices);
    }
  }
  image.Finish();
}

// Bilevel, gray and palette pages: stored rows, unpacked, straight into the
// encoder, one scanline or row of tiles at a time.
void ConvertSamplePage(TiffReader& reader, uint16_t orientation, ImageSink& sink,
                       const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  IndexedImage image(orientation, {page.width, page.height}, SamplePalette(page), sink, tuning);
  std::vector<uint8_t> indices(page.width);
  reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
    UnpackSamples(samples, page.bits_per_sample, indices);
    image.PutRow(indices);
  });
  image.Finish();
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
  std::vector<uint8_t> frame(hold ? width * page.height : 0);
  std::array<bool, 256> used{};
  size_t rows_read = 0;
  reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
    MarkUsedSamples(samples, used);
    if (hold) {
      std::copy_n(samples.begin(), width, frame.begin() + rows_read++ * width);
    }
  });
  const CutColormap cut = CutToUsedColors(page.colormap, used);
  IndexedImage image(orientation, {page.width, page.height},
                     IndexedPalette{cut.colors, std::nullopt}, sink, tuning);
  std::vector<uint8_t> indices(width);
  const auto put = [&](std::span<const uint8_t> samples) {
    for (size_t x = 0; x < width; ++x) {
      indices[x] = cut.position[samples[x]];
    }
    image.PutRow(indices);
  };
  if (hold) {
    for (size_t start = 0; start < frame.size(); start += width) {
      put(std::span<const uint8_t>(frame).subspan(start, width));
    }
  } else {
    reader.ReadSampleRows(put);
  }
  image.Finish();
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
  const bool hold =
      (uint64_t{page.width} * page.height <= tuning.max_held_pixels || band_rows == page.height) &&
      (colors.needed() || orientation >= 3);
  std::vector<uint32_t> pixels(width * (hold ? page.height : band_rows));
  const auto band_at = [&](uint32_t top) {
    const size_t rows = std::min(band_rows, page.height - top);
    return std::span<uint32_t>(pixels).subspan(hold ? top * width : 0, rows * width);
  };

  if (colors.needed() || hold) {
    // A held frame of several bands is surveyed on a worker thread, band by
    // band behind the decoding, when it is large enough to repay starting
    // one.
    std::optional<BackgroundSurvey> survey;
    if (colors.needed() && hold && band_rows < page.height &&
        uint64_t{page.width} * page.height >= tuning.min_pipelined_pixels) {
      survey.emplace(pixels,
                     [&colors](std::span<const uint32_t> decoded) { colors.Survey(decoded); });
    }
    for (uint32_t top = 0; top < page.height; top += band_rows) {
      const std::span<uint32_t> band = band_at(top);
      reader.ReadRgbaRows(top, band);
      if (survey) {
        survey->Decoded(static_cast<size_t>(band.data() - pixels.data()) + band.size());
      } else if (colors.needed()) {
        colors.Survey(band);
      }
    }
    if (survey) {
      survey->Finish();
    }
  }
  // The second pass: the held frame, or the page read again.
  const RgbaBands bands{.stored = {page.width, page.height},
                        .band_rows = hold ? page.height : band_rows,
                        .band = [&](uint32_t top) -> std::span<const uint32_t> {
                          if (hold) {
                            return pixels;
                          }
                          const std::span<uint32_t> band = band_at(top);
                          reader.ReadRgbaRows(top, band);
                          return band;
                        },
                        .held = hold};
  WriteColorPage(orientation, bands, colors, sink, tuning);
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

// Bilevel pages made smaller: the share of white in each output pixel,
// rounded to one of `levels` evenly spaced grays, black and white among
// them. The bits are counted as they are stored, without unpacking.
void ConvertReducedBilevelPage(TiffReader& reader, const ViewGeometry& view, int levels,
                               ImageSink& sink, const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const auto top = static_cast<uint64_t>(levels - 1);
  IndexedImage image(view.orientation, view.reduced, GrayLevels(levels), sink, tuning);
  std::vector<uint8_t> indices(view.reduced.width);
  const uint64_t total = uint64_t{page.width} * page.height;
  const RoundedMeans level_of(total, top);
  AreaReduction reduction(view.stored, view.reduced, 1, [&](std::span<const uint64_t> ones) {
    for (size_t x = 0; x < indices.size(); ++x) {
      const uint64_t white = page.min_is_white ? total - ones[x] : ones[x];
      indices[x] = static_cast<uint8_t>(level_of(white));
    }
    image.PutRow(indices);
  });
  reader.ReadSampleRows([&](std::span<const uint8_t> samples) { reduction.AddBitRow(samples); });
  image.Finish();
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

// Gray pages made smaller keep 256 levels: each output pixel the rounded
// mean of the grays it covers, its own palette entry.
void ConvertReducedGrayPage(TiffReader& reader, const ViewGeometry& view, ImageSink& sink,
                            const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  IndexedImage image(view.orientation, view.reduced, GrayLevels(256), sink, tuning);
  std::vector<uint8_t> indices(view.reduced.width);
  const RoundedMeans mean_of(uint64_t{page.width} * page.height, 1);
  AreaReduction reduction(view.stored, view.reduced, 1, [&](std::span<const uint64_t> sums) {
    for (size_t x = 0; x < indices.size(); ++x) {
      indices[x] = static_cast<uint8_t>(mean_of(sums[x]));
    }
    image.PutRow(indices);
  });
  std::array<uint8_t, 256> gray_of{};
  const std::array<uint32_t, 256> rgba = SampleRgba(page);
  for (size_t i = 0; i < gray_of.size(); ++i) {
    gray_of[i] = static_cast<uint8_t>(rgba[i]);
  }
  std::vector<uint8_t> values(page.width);
  reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
    UnpackSamples(samples, page.bits_per_sample, values);
    for (uint8_t& value : values) {
      value = gray_of[value];
    }
    reduction.AddByteRow(values);
  });
  image.Finish();
}

// Palette and colour pages, and gray ones allowed fewer than 256 colours,
// made smaller: averaged in RGB (and alpha), then written like a colour
// page. Palette and gray samples are looked up row by row; colour pages are
// rendered by libtiff in bands. The reduced frame is held for the survey.
void ConvertReducedColorPage(TiffReader& reader, const ConversionOptions& parameters,
                             const ViewGeometry& view, ImageSink& sink,
                             const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const size_t width = view.reduced.width;
  std::vector<uint32_t> frame(width * view.reduced.height);
  size_t filled = 0;
  const RoundedMeans mean_of(uint64_t{page.width} * page.height, 1);
  AreaReduction reduction(view.stored, view.reduced, 4, [&](std::span<const uint64_t> sums) {
    for (size_t x = 0; x < width; ++x) {
      uint32_t pixel = 0;
      for (int channel = 0; channel < 4; ++channel) {
        pixel |= static_cast<uint32_t>(mean_of(sums[x * 4 + channel])) << (8 * channel);
      }
      frame[filled++] = pixel;
    }
  });
  if (page.kind == PageKind::kColor) {
    const uint32_t band_rows = reader.RgbaBandRows();
    std::vector<uint32_t> band(size_t{page.width} * band_rows);
    for (uint32_t top = 0; top < page.height; top += band_rows) {
      const size_t rows = std::min(band_rows, page.height - top);
      const std::span<uint32_t> pixels = std::span<uint32_t>(band).first(rows * page.width);
      reader.ReadRgbaRows(top, pixels);
      for (size_t start = 0; start < pixels.size(); start += page.width) {
        reduction.AddRgbaRow(pixels.subspan(start, page.width));
      }
    }
  } else {
    const std::array<uint32_t, 256> rgba = SampleRgba(page);
    std::vector<uint8_t> indices(page.width);
    std::vector<uint32_t> pixels(page.width);
    reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
      UnpackSamples(samples, page.bits_per_sample, indices);
      for (size_t x = 0; x < indices.size(); ++x) {
        pixels[x] = rgba[indices[x]];
      }
      reduction.AddRgbaRow(pixels);
    });
  }
  ColorSurvey colors(sink.color_treatment(), parameters, view.reduced.width);
  if (colors.needed()) {
    colors.Survey(frame);
  }
  const RgbaBands bands{.stored = view.reduced,
                        .band_rows = view.reduced.height,
                        .band = [&frame](uint32_t) { return std::span<const uint32_t>(frame); },
                        .held = true};
  WriteColorPage(view.orientation, bands, colors, sink, tuning);
}

// The luminance of a libtiff RGBA pixel, rounded.
uint8_t Luminance(uint32_t pixel) {
  const uint32_t red = pixel & 0xff;
  const uint32_t green = pixel >> 8 & 0xff;
  const uint32_t blue = pixel >> 16 & 0xff;
  return static_cast<uint8_t>((299 * red + 587 * green + 114 * blue + 500) / 1000);
}

// A region of a bilevel page: exact, black and white; reduced or stretched,
// the share of white as one of `levels` grays; bitonal, white where it is
// at least half. Turned a quarter, a region of more than
// kMaxHeldRegionPixels (or the tuning's held pixels) is not held to be
// turned: it is read once for each block of output columns that many
// pixels hold, each block's columns becoming display rows.
void ConvertBilevelRegion(TiffReader& reader, const RegionGeometry& region, Quality quality,
                          int levels, ImageSink& sink, const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const bool bitonal = quality == Quality::kBitonal || region.exact;
  const int used_levels = bitonal ? 2 : levels;
  const ImageSize output{region.across.target, region.down.target};
  const uint64_t total = region.across.step * region.down.step;
  const RoundedMeans level_of(total, static_cast<uint64_t>(used_levels - 1));
  // Visits the output rows of `part`'s columns as indices.
  const auto read = [&](const RegionGeometry& part,
                        const std::function<void(std::span<const uint8_t>)>& visit) {
    std::vector<uint8_t> indices(part.across.target);
    AreaReduction reduction(part.across, part.down, 1, [&](std::span<const uint64_t> ones) {
      for (size_t x = 0; x < indices.size(); ++x) {
        const uint64_t white = page.min_is_white ? total - ones[x] : ones[x];
        indices[x] = bitonal ? static_cast<uint8_t>(white * 2 >= total)
                             : static_cast<uint8_t>(level_of(white));
      }
      visit(indices);
    });
    reader.ReadSampleRows(part.window,
                          [&](std::span<const uint8_t> samples) { reduction.AddBitRow(samples); });
  };
  const uint64_t most_held = std::min(tuning.max_held_pixels, kMaxHeldRegionPixels);
  if (region.orientation < 5 || uint64_t{output.width} * output.height <= most_held) {
    IndexedImage image(region.orientation, output, GrayLevels(used_levels), sink, tuning);
    read(region, [&](std::span<const uint8_t> indices) { image.PutRow(indices); });
    image.Finish();
    return;
  }
  IndexedImage image(1, DisplaySize(region.orientation, output), GrayLevels(used_levels), sink,
                     tuning);
  const bool columns_reversed = ReversesStoredColumns(region.orientation);
  const bool rows_reversed = ReversesStoredRows(region.orientation);
  const auto block = static_cast<uint32_t>(std::max<uint64_t>(most_held / output.height, 1));
  std::vector<uint8_t> held(size_t{block} * output.height);
  std::vector<uint8_t> display_row(output.height);
  for (uint32_t done = 0; done < output.width; done += block) {
    // Blocks in display order: from the last stored column where they are
    // shown last first.
    const uint32_t count = std::min(block, output.width - done);
    const uint32_t first = columns_reversed ? output.width - done - count : done;
    size_t row = 0;
    read(ColumnBlock(region, first, count), [&](std::span<const uint8_t> indices) {
      std::copy(indices.begin(), indices.end(), held.begin() + row++ * count);
    });
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t column = columns_reversed ? count - 1 - i : i;
      for (uint32_t y = 0; y < output.height; ++y) {
        display_row[rows_reversed ? output.height - 1 - y : y] = held[size_t{y} * count + column];
      }
      image.PutRow(display_row);
    }
  }
  image.Finish();
}

// A region of any other page, averaged: a gray page, or any page asked for
// gray or bitonal, as grays (streamed where the format takes 256 of them);
// palette and colour pages as RGBA, held and written like a colour page.
void ConvertSampledRegion(TiffReader& reader, const ConversionOptions& parameters,
                          const RegionGeometry& region, int colors, ImageSink& sink,
                          const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const ImageSize output{region.across.target, region.down.target};
  const bool gray_page = page.kind == PageKind::kGray;
  const bool grays = gray_page || parameters.quality != Quality::kColor;
  const bool bitonal = parameters.quality == Quality::kBitonal;
  const bool streamed = grays && (bitonal || colors >= 256);
  std::optional<IndexedImage> image;
  if (streamed) {
    image.emplace(region.orientation, output, GrayLevels(bitonal ? 2 : 256), sink, tuning);
  }
  std::vector<uint32_t> frame(streamed ? 0 : size_t{output.width} * output.height);
  std::vector<uint8_t> indices(output.width);
  size_t filled = 0;
  // The output row's grays, as indices or into the frame.
  const auto put_grays = [&] {
    if (streamed) {
      if (bitonal) {
        for (uint8_t& gray : indices) {
          gray = gray >= 128 ? 1 : 0;
        }
      }
      image->PutRow(indices);
      return;
    }
    for (const uint8_t gray : indices) {
      const uint8_t shown = bitonal ? (gray >= 128 ? 255 : 0) : gray;
      frame[filled++] = 0xff000000u | uint32_t{shown} * 0x010101u;
    }
  };
  const int channels = gray_page ? 1 : 4;
  const RoundedMeans mean_of(region.across.step * region.down.step, 1);
  AreaReduction reduction(
      region.across, region.down, channels, [&](std::span<const uint64_t> sums) {
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
            frame[filled++] = pixel;
          }
        }
        if (grays) {
          put_grays();
        }
      });
  const PixelRect& window = region.window;
  if (page.kind == PageKind::kColor) {
    reader.ReadRgbaWindow(window,
                          [&](std::span<const uint32_t> pixels) { reduction.AddRgbaRow(pixels); });
  } else {
    const std::array<uint32_t, 256> rgba = SampleRgba(page);
    std::vector<uint8_t> samples_unpacked(window.width);
    std::vector<uint8_t> values(window.width);
    std::vector<uint32_t> pixels(window.width);
    reader.ReadSampleRows(window, [&](std::span<const uint8_t> samples) {
      UnpackSamples(samples, page.bits_per_sample, samples_unpacked);
      if (gray_page) {
        for (size_t x = 0; x < values.size(); ++x) {
          values[x] = static_cast<uint8_t>(rgba[samples_unpacked[x]]);
        }
        reduction.AddByteRow(values);
      } else {
        for (size_t x = 0; x < pixels.size(); ++x) {
          pixels[x] = rgba[samples_unpacked[x]];
        }
        reduction.AddRgbaRow(pixels);
      }
    });
  }
  if (streamed) {
    image->Finish();
    return;
  }
  ColorSurvey survey(sink.color_treatment(), parameters, output.width);
  if (survey.needed()) {
    survey.Survey(frame);
  }
  const RgbaBands bands{.stored = output,
                        .band_rows = output.height,
                        .band = [&frame](uint32_t) { return std::span<const uint32_t>(frame); },
                        .held = true};
  WriteColorPage(region.orientation, bands, survey, sink, tuning);
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
    if (page.kind == PageKind::kBilevel) {
      ConvertReducedBilevelPage(reader, view, std::min(parameters.grays, colors), sink, tuning);
    } else if (page.kind == PageKind::kGray && colors >= 256) {
      ConvertReducedGrayPage(reader, view, sink, tuning);
    } else {
      ConvertReducedColorPage(reader, parameters, view, sink, tuning);
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
  const ByteSink sink = [&output](std::string_view bytes) {
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
