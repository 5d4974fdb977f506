// Where a converted page goes: the writer of one output format (GIF, PNG or
// JPEG) behind one small interface. The conversion paths, which read a page
// and put it into its shape (orientation, reduction), know nothing of
// formats: they ask the sink how colour pages are to be treated, then start
// an image of palette indices or of RGBA pixels and hand it its rows in
// display order.
#ifndef OSTREL_CONVERTER_IMAGE_SINK_H_
#define OSTREL_CONVERTER_IMAGE_SINK_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>

#include "converter/conversion_options.h"
#include "converter/image_size.h"
#include "converter/indexed_rows.h"

namespace ostrel {

// Takes an image file's bytes in order, in chunks of some 64 KiB.
using ByteSink = std::function<void(std::string_view)>;

// How a format takes a page of colour (kColor, and any page made smaller in
// RGB), which decides what survey the page needs before it is written.
enum class ColorTreatment {
  // A palette of at most `colors` entries, chosen by ColorReduction: its
  // own colours when they fit, else quantized ones (GIF).
  kReducedPalette,
  // Its own colours exactly: a palette when there are at most 256 distinct
  // pixels (ExactColors), else every pixel as it is (PNG).
  kExact,
  // Every pixel as it is; no survey (JPEG).
  kTrueColor,
};

// One image being written. Rows arrive top to bottom: `width` palette
// indices (an indexed image), or `width` libtiff RGBA pixels (an RGBA
// image: 4 bytes each, a uint32_t 0xAABBGGRR in native byte order, colour
// premultiplied by alpha). Rows are byte rows, so that a RowPipeline can
// carry either kind to a worker thread.
class ImageWriter : public IndexedRowSink {
 public:
  // Raises what the byte sink raises, or the encoder's failure.
  void PutRow(std::span<const uint8_t> row) override = 0;
  // Writes the image's last bytes. Raises like PutRow, and kInternal when
  // fewer rows came than the height.
  virtual void Finish() = 0;
};

class ImageSink {
 public:
  virtual ~ImageSink() = default;

  virtual ColorTreatment color_treatment() const = 0;

  // The largest side of a stored page the format takes, and the reason to
  // give when a page is larger.
  virtual uint32_t max_side() const = 0;
  virtual std::string_view max_side_reason() const = 0;

  // Starts the image, `size` as displayed: of indices into `palette`, or of
  // RGBA pixels, `transparent` when some pixel may be less than opaque.
  // Raises what the byte sink raises; StartRgba raises kInternal for a
  // format that takes only palettes (kReducedPalette).
  virtual std::unique_ptr<ImageWriter> StartIndexed(ImageSize size,
                                                    const IndexedPalette& palette) = 0;
  virtual std::unique_ptr<ImageWriter> StartRgba(ImageSize size, bool transparent) = 0;
};

// The sink that writes `options.format` (with its quality and colour
// limits) into `bytes`.
std::unique_ptr<ImageSink> MakeImageSink(const ConversionOptions& options, ByteSink bytes);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_IMAGE_SINK_H_
