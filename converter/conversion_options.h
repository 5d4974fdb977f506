// The converter's parameter text: "key=value" items separated by ", ".
#ifndef OSTREL_CONVERTER_CONVERSION_OPTIONS_H_
#define OSTREL_CONVERTER_CONVERSION_OPTIONS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// 16384 x 16384: a 10000 x 14000 drawing passes, and what is refused would
// cost gigabytes.
inline constexpr uint64_t kDefaultMaxPixels = 268435456;

// The file format the page is written in.
enum class OutputFormat { kGif, kPng, kJpeg };

struct ConversionOptions {
  std::string source;  // the TIFF file, each "\" already turned into "/"
  std::string dest;    // the image file to write, likewise
  uint32_t page = 1;   // counted from 1
  int colors = 256;    // most palette entries, 2 to 256
  bool dither = true;  // error diffusion when colours must be reduced
  uint64_t max_pixels = kDefaultMaxPixels;
  // How the page is shown. A box side of 0 leaves that side unbounded.
  uint32_t box_width = 0;     // width=, 1 to 65535
  uint32_t box_height = 0;    // height=, likewise
  uint16_t rotate = 0;        // 0, 90, 180 or 270 degrees clockwise
  bool square_pixels = true;  // aspect=auto (true) or none
  int grays = 16;             // levels of a reduced bilevel page, 2 to 256

  // What the page is written as: format=gif, png or jpg, and a JPEG's
  // quality, jpegquality=, 1 to 100.
  OutputFormat format = OutputFormat::kGif;
  int jpeg_quality = 85;

  // Not an item: the program's AllowedImageDirectories value, from the
  // environment; the source file opened must lie in one of them. Empty
  // admits any file.
  std::string allowed_directories;
};

// Parses items source=, dest= (each required once, not the same path),
// page=, colors=, dither= (on or off), maxpixels=, width=, height=, rotate=,
// aspect= (auto or none), grays=, format= (gif, png or jpg) and
// jpegquality=; keys and choices ignore letter case. The view items page,
// width, height, rotate, aspect and format may be repeated, and the last one
// counts, so that a caller can append them to fixed items; any other key
// given twice is refused. Raises a kBadParameter error naming the unknown,
// repeated or missing key, the item without "=" or the bad value.
ConversionOptions ParseConversionOptions(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_CONVERSION_OPTIONS_H_
