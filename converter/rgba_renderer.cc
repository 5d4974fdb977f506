#include "converter/rgba_renderer.h"

#include <string>

#include <tiffio.h>

#include "converter/conversion_failure.h"

namespace ostrel {

struct RgbaRenderer::Image {
  TIFFRGBAImage image{};
  bool begun = false;
  ~Image() {
    if (begun) {
      TIFFRGBAImageEnd(&image);
    }
  }
};

RgbaRenderer::RgbaRenderer(TiffFile& file) : file_(file), image_(std::make_unique<Image>()) {
  char reason[1024] = "";
  image_->begun =
      TIFFRGBAImageBegin(&image_->image, file_.handle(), /*stop_on_error=*/1, reason) != 0;
  if (!image_->begun) {
    throw ConversionError(ConversionFailure::kUnsupportedTiff,
                          "unsupported TIFF image in " + file_.name() + ": " + reason);
  }
  // Stored order, row 0 first: orientation is applied later, to indices.
  image_->image.req_orientation = ORIENTATION_TOPLEFT;
  image_->image.orientation = ORIENTATION_TOPLEFT;
  // What setting up the renderer warned about ("Assuming 8-bit colormap")
  // says nothing about the pixels.
  file_.messages().ClearFirst();
}

RgbaRenderer::~RgbaRenderer() = default;

void RgbaRenderer::ReadRows(uint32_t top, uint32_t left, uint32_t width,
                            std::span<uint32_t> pixels) {
  const auto rows = static_cast<uint32_t>(pixels.size() / width);
  image_->image.row_offset = static_cast<int>(top);
  image_->image.col_offset = static_cast<int>(left);
  file_.CheckDecoded(TIFFRGBAImageGet(&image_->image, pixels.data(), width, rows) != 0);
}

}  // namespace ostrel
