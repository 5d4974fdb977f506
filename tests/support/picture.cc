#include "tests/support/picture.h"

#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <stdexcept>
#include <string>

namespace ostrel::testing {
namespace {

uint32_t BigEndian32(std::string_view bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  }
  return value;
}

// libjpeg's errors as a jump out of the decoding, not an exit.
struct JpegErrors {
  jpeg_error_mgr manager{};
  std::jmp_buf jump{};
  static void Exit(j_common_ptr common) {
    std::longjmp(reinterpret_cast<JpegErrors*>(common->err)->jump, 1);
  }
};

}  // namespace

Picture DecodePng(std::string_view bytes) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&image, bytes.data(), bytes.size()) == 0) {
    throw std::runtime_error(std::string("libpng: ") + image.message);
  }
  image.format = PNG_FORMAT_RGBA;
  Picture picture{image.width, image.height, std::vector<Rgba8>(size_t{image.width} * image.height),
                  0};
  if (png_image_finish_read(&image, nullptr, picture.pixels.data(), 0, nullptr) == 0) {
    throw std::runtime_error(std::string("libpng: ") + image.message);
  }
  return picture;
}

PngForm ReadPngForm(std::string_view bytes) {
  if (bytes.size() < 33 || bytes.substr(0, 8) != "\x89PNG\r\n\x1a\n" ||
      bytes.substr(12, 4) != "IHDR") {
    throw std::runtime_error("not a PNG");
  }
  PngForm form{static_cast<uint8_t>(bytes[24]), static_cast<uint8_t>(bytes[25]), 0, false};
  for (size_t at = 8; at + 8 <= bytes.size();) {
    const uint32_t length = BigEndian32(bytes, at);
    const std::string_view type = bytes.substr(at + 4, 4);
    if (type == "PLTE") {
      form.palette_entries = static_cast<int>(length / 3);
    } else if (type == "tRNS") {
      form.has_transparency = true;
    }
    at += size_t{length} + 12;
  }
  return form;
}

Picture DecodeJpegPicture(std::string_view bytes) {
  jpeg_decompress_struct decompressor{};
  JpegErrors errors;
  decompressor.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = JpegErrors::Exit;
  Picture picture;
  std::vector<uint8_t> samples;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&decompressor);
    throw std::runtime_error("libjpeg cannot decode the JPEG");
  }
  jpeg_create_decompress(&decompressor);
  jpeg_mem_src(&decompressor, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&decompressor, TRUE);
  jpeg_start_decompress(&decompressor);
  picture.width = decompressor.output_width;
  picture.height = decompressor.output_height;
  picture.components = decompressor.output_components;
  const size_t row_size = size_t{picture.width} * static_cast<size_t>(picture.components);
  samples.resize(row_size * picture.height);
  while (decompressor.output_scanline < decompressor.output_height) {
    JSAMPROW line = samples.data() + decompressor.output_scanline * row_size;
    jpeg_read_scanlines(&decompressor, &line, 1);
  }
  jpeg_finish_decompress(&decompressor);
  jpeg_destroy_decompress(&decompressor);
  for (size_t i = 0; i < size_t{picture.width} * picture.height; ++i) {
    const uint8_t* sample = samples.data() + i * static_cast<size_t>(picture.components);
    picture.pixels.push_back(picture.components == 1 ? Rgba8{sample[0], sample[0], sample[0], 255}
                                                     : Rgba8{sample[0], sample[1], sample[2], 255});
  }
  return picture;
}

Picture PictureOfGif(const GifImage& gif) {
  Picture picture{gif.width, gif.height, {}, 0};
  for (const uint8_t index : gif.indices) {
    const GifColor& color = gif.palette[index];
    picture.pixels.push_back(index == gif.transparent_index
                                 ? Rgba8{0, 0, 0, 0}
                                 : Rgba8{color[0], color[1], color[2], 255});
  }
  return picture;
}

Picture PictureOfRgba(const std::vector<uint32_t>& rgba, uint32_t width, uint32_t height) {
  Picture picture{width, height, {}, 0};
  for (const uint32_t pixel : rgba) {
    const uint32_t alpha = pixel >> 24;
    Rgba8 color{};
    for (int c = 0; c < 3 && alpha > 0; ++c) {
      const uint32_t value = pixel >> (8 * c) & 0xff;
      color[c] = static_cast<uint8_t>(std::min(255u, (value * 255 + alpha / 2) / alpha));
    }
    color[3] = static_cast<uint8_t>(alpha);
    picture.pixels.push_back(color);
  }
  return picture;
}

int Differences(const Picture& got, const Picture& want) {
  if (got.width != want.width || got.height != want.height ||
      got.pixels.size() != want.pixels.size()) {
    return -1;
  }
  int differences = 0;
  for (size_t i = 0; i < got.pixels.size(); ++i) {
    const Rgba8& a = got.pixels[i];
    const Rgba8& b = want.pixels[i];
    differences += a[3] != b[3] || (b[3] != 0 && (a[0] != b[0] || a[1] != b[1] || a[2] != b[2]));
  }
  return differences;
}

double PsnrOverWhite(const Picture& got, const Picture& want) {
  double squares = 0;
  size_t samples = 0;
  for (size_t i = 0; i < got.pixels.size() && i < want.pixels.size(); ++i) {
    for (int c = 0; c < 3; ++c) {
      const auto over_white = [c](const Rgba8& pixel) {
        return (pixel[c] * pixel[3] + 255.0 * (255 - pixel[3])) / 255;
      };
      const double difference = over_white(got.pixels[i]) - over_white(want.pixels[i]);
      squares += difference * difference;
      ++samples;
    }
  }
  if (squares == 0) {
    return 99;
  }
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(samples) / squares);
}

}  // namespace ostrel::testing
