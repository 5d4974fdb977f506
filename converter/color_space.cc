#include "converter/color_space.h"

#include <algorithm>
#include <cmath>

namespace ostrel {

uint8_t SrgbLevel(double linear) {
  if (!(linear > 0)) {
    return 0;
  }
  const double encoded =
      linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(std::min(encoded, 1.0) * 255));
}

Rgb SrgbOfXyz(const double xyz[3]) {
  const double x = xyz[0];
  const double y = xyz[1];
  const double z = xyz[2];
  return Rgb{SrgbLevel(3.2406 * x - 1.5372 * y - 0.4986 * z),
             SrgbLevel(-0.9689 * x + 1.8758 * y + 0.0415 * z),
             SrgbLevel(0.0557 * x - 0.2040 * y + 1.0570 * z)};
}

Lab LabOf(double lightness, double a, double b, int bits) {
  const double half = bits == 8 ? 128 : 32768;
  const auto signed_value = [half](double value) {
    return value >= half ? value - 2 * half : value;
  };
  const double step = bits == 8 ? 1 : 256;
  return Lab{lightness * 100 / (2 * half - 1), signed_value(a) / step, signed_value(b) / step};
}

void LabToXyz(const Lab& lab, double xyz[3]) {
  constexpr double kDelta = 6.0 / 29;
  const auto inverse = [](double t) {
    return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29);
  };
  const double fy = (lab.lightness + 16) / 116;
  xyz[0] = 0.95047 * inverse(fy + lab.a / 500);
  xyz[1] = inverse(fy);
  xyz[2] = 1.08883 * inverse(fy - lab.b / 200);
}

}  // namespace ostrel
