#include "converter/image_conversion.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "converter/background_survey.h"
#include "converter/color_reduction.h"
#include "converter/conversion_failure.h"
#include "converter/gif_writer.h"
#include "converter/orientation.h"
#include "converter/row_pipeline.h"
#include "converter/sample_indices.h"
#include "converter/tiff_reader.h"
#include "platform/atomic_file.h"

namespace ostrel {
namespace {

// A page's stored rows on their way into the GIF: put into display order,
// then encoded, on a worker thread when the page is large enough to repay
// starting one.
class GifRows {
 public:
  GifRows(const TiffPage& page, const IndexedPalette& palette, const GifWriter::ByteSink& sink,
          const ConversionTuning& tuning)
      : display_(DisplaySize(page.orientation, {page.width, page.height})),
        gif_(display_, palette, sink),
        pipeline_(
            uint64_t{page.width} * page.height >= tuning.min_pipelined_pixels
                ? std::make_unique<RowPipeline>(display_.width, gif_, tuning.pipeline_block_bytes)
                : nullptr),
        oriented_(page.orientation, {page.width, page.height}, Encoder()) {}

  void PutRow(std::span<const uint8_t> stored_row) { oriented_.PutRow(stored_row); }

  // After the last row: the GIF's last bytes. Raises what the encoder or the
  // sink raised, on either thread.
  void Finish() {
    if (pipeline_) {
      pipeline_->Finish();
    }
    gif_.Finish();
  }

 private:
  IndexedRowSink& Encoder() {
    if (pipeline_) {
      return *pipeline_;
    }
    return gif_;
  }

  ImageSize display_;
  GifWriter gif_;
  std::unique_ptr<RowPipeline> pipeline_;  // its worker stops before gif_ goes
  OrientedRows oriented_;
};

// Bilevel, gray and palette pages: stored rows, unpacked, straight into the
// encoder, one scanline or row of tiles at a time.
void ConvertSamplePage(TiffReader& reader, const GifWriter::ByteSink& sink,
                       const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  GifRows gif(page, SamplePalette(page), sink, tuning);
  std::vector<uint8_t> indices(page.width);
  reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
    UnpackSamples(samples, page.bits_per_sample, indices);
    gif.PutRow(indices);
  });
  gif.Finish();
}

// 8-bit palette pages. Their colormaps often use a few of their 256 entries,
// or repeat colours: a colour table cut to the colours the pixels show gives
// shorter codes. Which those are is known once the page has been read: up
// to `tuning.max_held_pixels`, and never beyond kMaxHeldPalettePixels, it is held,
// one byte a pixel, and read once; a larger one is read twice, so that its
// memory does not grow with its size.
void ConvertPalettePage(TiffReader& reader, const GifWriter::ByteSink& sink,
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
  GifRows gif(page, IndexedPalette{cut.colors, std::nullopt}, sink, tuning);
  std::vector<uint8_t> indices(width);
  const auto put = [&](std::span<const uint8_t> samples) {
    for (size_t x = 0; x < width; ++x) {
      indices[x] = cut.position[samples[x]];
    }
    gif.PutRow(indices);
  };
  if (hold) {
    for (size_t start = 0; start < frame.size(); start += width) {
      put(std::span<const uint8_t>(frame).subspan(start, width));
    }
  } else {
    reader.ReadSampleRows(put);
  }
  gif.Finish();
}

// Everything else: rendered to RGBA by libtiff, surveyed for a palette, then
// mapped to it.
void ConvertColorPage(TiffReader& reader, const ConversionOptions& parameters,
                      const GifWriter::ByteSink& sink, const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  const size_t width = page.width;
  const uint32_t band_rows = reader.RgbaBandRows();
  // Held, the frame is decoded once; a single band is the whole frame anyway.
  const bool hold =
      uint64_t{page.width} * page.height <= tuning.max_held_pixels || band_rows == page.height;
  std::vector<uint32_t> pixels(width * (hold ? page.height : band_rows));
  const auto band_at = [&](uint32_t top) {
    const size_t rows = std::min(band_rows, page.height - top);
    return std::span<uint32_t>(pixels).subspan(hold ? top * width : 0, rows * width);
  };

  ColorReduction reduction(parameters.colors, parameters.dither, page.width);
  // A held frame of several bands is surveyed on a worker thread, band by
  // band behind the decoding, when it is large enough to repay starting one.
  std::optional<BackgroundSurvey> survey;
  if (hold && band_rows < page.height &&
      uint64_t{page.width} * page.height >= tuning.min_pipelined_pixels) {
    survey.emplace(pixels, reduction);
  }
  for (uint32_t top = 0; top < page.height; top += band_rows) {
    const std::span<uint32_t> band = band_at(top);
    reader.ReadRgbaRows(top, band);
    if (survey) {
      survey->Decoded(static_cast<size_t>(band.data() - pixels.data()) + band.size());
    } else {
      reduction.Survey(band);
    }
  }
  if (survey) {
    survey->Finish();
  }
  GifRows gif(page, reduction.ChoosePalette(), sink, tuning);
  std::vector<uint8_t> indices(width);
  for (uint32_t top = 0; top < page.height; top += band_rows) {
    const std::span<uint32_t> band = band_at(top);
    if (!hold) {
      reader.ReadRgbaRows(top, band);
    }
    for (size_t start = 0; start < band.size(); start += width) {
      reduction.MapRow(band.subspan(start, width), indices);
      gif.PutRow(indices);
    }
  }
  gif.Finish();
}

}  // namespace

void CheckImageSize(uint32_t width, uint32_t height, uint64_t max_pixels,
                    const std::string& source) {
  const std::string size =
      std::to_string(width) + " x " + std::to_string(height) + " pixels in " + source;
  if (uint64_t{width} * height > max_pixels) {
    throw ConversionError(
        ConversionFailure::kImageTooLarge,
        "image too large: " + size + ", the limit is " + std::to_string(max_pixels));
  }
  if (width > kMaxGifSide || height > kMaxGifSide) {
    throw ConversionError(ConversionFailure::kImageTooLarge,
                          "image too large: " + size + ", a GIF allows at most " +
                              std::to_string(kMaxGifSide) + " on either side");
  }
}

void ConvertPage(TiffReader& reader, const ConversionOptions& parameters,
                 const GifWriter::ByteSink& sink, const ConversionTuning& tuning) {
  const TiffPage& page = reader.page();
  CheckImageSize(page.width, page.height, parameters.max_pixels, parameters.source);
  // Pages that need more palette entries than allowed take the colour path,
  // which reduces them.
  const int sample_entries = page.kind == PageKind::kColor ? 257
                             : page.bits_per_sample >= 8   ? 256
                                                           : 1 << page.bits_per_sample;
  if (sample_entries > parameters.colors) {
    ConvertColorPage(reader, parameters, sink, tuning);
  } else if (page.kind == PageKind::kPalette && page.bits_per_sample == 8) {
    ConvertPalettePage(reader, sink, tuning);
  } else {
    ConvertSamplePage(reader, sink, tuning);
  }
}

std::string ConvertImage(const ConversionOptions& parameters, const ConversionTuning& tuning) {
  // The output first: an unwritable destination fails before any decoding,
  // and from here on any failure removes an older file at dest.
  AtomicFile output = WithFailureKind(ConversionFailure::kCannotWriteDestination,
                                      [&] { return AtomicFile(parameters.dest); });
  const GifWriter::ByteSink sink = [&output](std::string_view bytes) {
    WithFailureKind(ConversionFailure::kCannotWriteDestination, [&] { output.Write(bytes); });
  };
  TiffReader reader(parameters.source, parameters.page);
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
