// A colour of 8 bits a channel, as a GIF palette holds it.
#ifndef OSTREL_CONVERTER_RGB_H_
#define OSTREL_CONVERTER_RGB_H_

#include <cstdint>

namespace ostrel {

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  bool operator==(const Rgb&) const = default;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_RGB_H_
