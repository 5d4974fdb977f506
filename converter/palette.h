// The colours an image's indices stand for, the first for index 0.
#ifndef OSTREL_CONVERTER_PALETTE_H_
#define OSTREL_CONVERTER_PALETTE_H_

#include <vector>

#include "converter/rgb.h"

namespace ostrel {

using Palette = std::vector<Rgb>;

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_PALETTE_H_
