// Colours of samples that libtiff's renderer draws tinted, CIELab and CIE
// XYZ, in 8-bit sRGB.
#ifndef OSTREL_CONVERTER_COLOR_SPACE_H_
#define OSTREL_CONVERTER_COLOR_SPACE_H_

#include <cstdint>

#include "converter/rgb.h"

namespace ostrel {

// A linear light level, 0 to 1, as an 8-bit sRGB level; 0 for NaN and
// anything not above 0, 255 for anything from 1 up.
uint8_t SrgbLevel(double linear);

// CIE XYZ relative to white D65 (Y of white 1) in sRGB.
Rgb SrgbOfXyz(const double xyz[3]);

struct Lab {
  double lightness;  // 0 to 100
  double a;
  double b;
};

// CIELab samples as stored: 8-bit L* of 0 to 255 for 0 to 100 and signed
// a* and b*; 16-bit L* of 0 to 65535 and a* and b* in 256ths. `bits` is 8
// or 16.
Lab LabOf(double lightness, double a, double b, int bits);

// Lab taken relative to the display's white, D65, so that neutral stays gray.
void LabToXyz(const Lab& lab, double xyz[3]);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_COLOR_SPACE_H_
