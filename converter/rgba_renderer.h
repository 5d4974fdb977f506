// libtiff's own renderer of a page to RGBA, for every page whose samples
// the converter neither reads as indices nor maps itself.
#ifndef OSTREL_CONVERTER_RGBA_RENDERER_H_
#define OSTREL_CONVERTER_RGBA_RENDERER_H_

#include <cstdint>
#include <memory>
#include <span>

#include "converter/tiff_file.h"

namespace ostrel {

class RgbaRenderer {
 public:
  // Begins rendering `file`'s current page, in stored order whatever its
  // orientation, and clears what libtiff warned about meanwhile. Raises
  // kUnsupportedTiff with libtiff's reason. `file` must outlive the
  // renderer.
  explicit RgbaRenderer(TiffFile& file);
  ~RgbaRenderer();
  RgbaRenderer(const RgbaRenderer&) = delete;
  RgbaRenderer& operator=(const RgbaRenderer&) = delete;

  // Renders the stored rows from `top` on, `width` columns from column
  // `left`, as many as `pixels` holds whole rows (TIFFGetR and its kin
  // unpack a pixel; colour is premultiplied by alpha). Raises kDamagedTiff.
  void ReadRows(uint32_t top, uint32_t left, uint32_t width, std::span<uint32_t> pixels);

 private:
  struct Image;  // libtiff's TIFFRGBAImage, ended when it goes

  TiffFile& file_;
  std::unique_ptr<Image> image_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_RGBA_RENDERER_H_
