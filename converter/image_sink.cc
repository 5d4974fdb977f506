#include "converter/image_sink.h"

#include <string>
#include <utility>

#include "converter/conversion_failure.h"
#include "converter/gif_writer.h"
#include "converter/jpeg_writer.h"
#include "converter/png_writer.h"

namespace ostrel {
namespace {

// A side longer than this is refused for every format: the GIF format's
// limit, and as far as reduction goes.
constexpr uint32_t kMaxSide = 65535;

class GifSink final : public ImageSink {
 public:
  explicit GifSink(ByteSink bytes) : bytes_(std::move(bytes)) {}
  ColorTreatment color_treatment() const override { return ColorTreatment::kReducedPalette; }
  uint32_t max_side() const override { return kMaxSide; }
  std::string_view max_side_reason() const override {
    return "a GIF allows at most 65535 on either side";
  }
  std::unique_ptr<ImageWriter> StartIndexed(ImageSize size,
                                            const IndexedPalette& palette) override {
    return std::make_unique<GifWriter>(size, palette, bytes_);
  }
  std::unique_ptr<ImageWriter> StartRgba(ImageSize /*size*/, bool /*transparent*/) override {
    throw ConversionError(ConversionFailure::kInternal, "a GIF takes only palette indices");
  }

 private:
  ByteSink bytes_;
};

class PngSink final : public ImageSink {
 public:
  explicit PngSink(ByteSink bytes) : bytes_(std::move(bytes)) {}
  ColorTreatment color_treatment() const override { return ColorTreatment::kExact; }
  uint32_t max_side() const override { return kMaxSide; }
  std::string_view max_side_reason() const override {
    return "the converter reads at most 65535 on either side";
  }
  std::unique_ptr<ImageWriter> StartIndexed(ImageSize size,
                                            const IndexedPalette& palette) override {
    return PngWriter::Indexed(size, palette, bytes_);
  }
  std::unique_ptr<ImageWriter> StartRgba(ImageSize size, bool transparent) override {
    return PngWriter::TrueColor(size, transparent, bytes_);
  }

 private:
  ByteSink bytes_;
};

class JpegSink final : public ImageSink {
 public:
  JpegSink(ByteSink bytes, int quality) : bytes_(std::move(bytes)), quality_(quality) {}
  ColorTreatment color_treatment() const override { return ColorTreatment::kTrueColor; }
  uint32_t max_side() const override { return JpegWriter::kMaxSide; }
  std::string_view max_side_reason() const override {
    return "a JPEG allows at most 65500 on either side";
  }
  std::unique_ptr<ImageWriter> StartIndexed(ImageSize size,
                                            const IndexedPalette& palette) override {
    return JpegWriter::Indexed(size, palette, quality_, bytes_);
  }
  std::unique_ptr<ImageWriter> StartRgba(ImageSize size, bool /*transparent*/) override {
    return JpegWriter::TrueColor(size, quality_, bytes_);
  }

 private:
  ByteSink bytes_;
  int quality_;
};

}  // namespace

std::unique_ptr<ImageSink> MakeImageSink(const ConversionOptions& options, ByteSink bytes) {
  switch (options.format) {
    case OutputFormat::kPng:
      return std::make_unique<PngSink>(std::move(bytes));
    case OutputFormat::kJpeg:
      return std::make_unique<JpegSink>(std::move(bytes), options.jpeg_quality);
    case OutputFormat::kGif:
      break;
  }
  return std::make_unique<GifSink>(std::move(bytes));
}

}  // namespace ostrel
