// The converter's parameter text: "key=value" items separated by ", ".
#ifndef OSTREL_CONVERTER_CONVERSION_OPTIONS_H_
#define OSTREL_CONVERTER_CONVERSION_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "converter/image_size.h"

namespace ostrel {

// 16384 x 16384: a 10000 x 14000 drawing passes, and what is refused would
// cost gigabytes.
inline constexpr uint64_t kDefaultMaxPixels = 268435456;

// The file format the page is written in.
enum class OutputFormat { kGif, kPng, kJpeg };

// What the picture's pixels are: the page's colours, grays, or black and
// white only.
enum class Quality { kColor, kGray, kBitonal };

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
  bool square_pixels = true;  // aspect=auto or stretch (true), or none
  // aspect=stretch: square pixels by enlarging the sparser axis instead.
  bool stretch_pixels = false;
  int grays = 16;  // levels of a reduced bilevel page, 2 to 256

  // What the page is written as: format=gif, png or jpg, and a JPEG's
  // quality, jpegquality=, 1 to 100.
  OutputFormat format = OutputFormat::kGif;
  int jpeg_quality = 85;

  // A part of the page at a chosen size (see README.md): region= x,y,w,h
  // of the page's pixel grid (square pixels as `aspect` says, Orientation
  // tag applied), size= w,h of the output, before mirror= (on or off),
  // which reflects the picture left to right before `rotate` turns it; and
  // quality= color, gray or bitonal.
  std::optional<PixelRect> region;
  std::optional<ImageSize> size;
  bool mirror = false;
  Quality quality = Quality::kColor;

  // Not an item: the program's AllowedImageDirectories value, from the
  // environment; the source file opened must lie in one of them. Empty
  // admits any file.
  std::string allowed_directories;
  // Not an item either: the most bytes the image may take, the program's
  // MaxImageBytes, from the environment. 0 sets no bound of its own.
  uint64_t max_image_bytes = 0;
};

// The value of the environment variable that carries MaxImageBytes: 0 when
// `text` is empty, else a whole number of bytes from 1. Raises a
// kBadParameter error for anything else.
uint64_t ParseMaxImageBytes(std::string_view text);

// Parses items source=, dest= (each required once, not the same path),
// page=, colors=, dither= (on or off), maxpixels=, width=, height=, rotate=,
// aspect= (auto, none or stretch), grays=, format= (gif, png or jpg),
// jpegquality=, region= (x,y,w,h, w and h from 1), size= (w,h, each 1 to
// 65535), mirror= (on or off) and quality= (color, gray or bitonal); keys
// and choices ignore letter case. The view items page, width, height,
// rotate, aspect, format, region, size, mirror and quality may be repeated,
// and the last one counts, so that a caller can append them to fixed items;
// any other key given twice is refused. Raises a kBadParameter error naming
// the unknown, repeated or missing key, the item without "=", the bad value,
// or size given with width or height.
ConversionOptions ParseConversionOptions(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_CONVERSION_OPTIONS_H_
