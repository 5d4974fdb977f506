#include "converter/color_space.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(ColorSpaceTest, LinearLevelsEncodeAsSrgb) {
  const struct {
    double linear;
    int srgb;
  } cases[] = {
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {-0.5, 0},
      {0, 0},
      {0.0031308, 10},  // the end of the linear segment
      {0.18, 118},      // middle gray
      {0.5, 188},
      {1, 255},
      {1.5, 255},
      {std::numeric_limits<double>::infinity(), 255},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SrgbLevel(c.linear), c.srgb) << c.linear;
  }
}

TEST(ColorSpaceTest, StoredLabSamplesReadAtBothDepths) {
  const struct {
    double lightness, a, b;
    int bits;
    Lab lab;
  } cases[] = {
      {0, 0, 0, 8, {0, 0, 0}},
      {255, 127, 128, 8, {100, 127, -128}},
      {255, 255, 129, 8, {100, -1, -127}},
      {0, 0, 0, 16, {0, 0, 0}},
      {65535, 32767, 32768, 16, {100, 32767.0 / 256, -128}},
      {65535, 65535, 256, 16, {100, -1.0 / 256, 1}},
  };
  for (const auto& c : cases) {
    const Lab lab = LabOf(c.lightness, c.a, c.b, c.bits);
    EXPECT_DOUBLE_EQ(lab.lightness, c.lab.lightness) << c.bits << " bits, L " << c.lightness;
    EXPECT_DOUBLE_EQ(lab.a, c.lab.a) << c.bits << " bits, a " << c.a;
    EXPECT_DOUBLE_EQ(lab.b, c.lab.b) << c.bits << " bits, b " << c.b;
  }
}

TEST(ColorSpaceTest, LabColoursComeOutAsTheirSrgb) {
  // Published Lab values (white D65) of sRGB colours.
  const struct {
    Lab lab;
    int red, green, blue;
  } cases[] = {
      {{0, 0, 0}, 0, 0, 0},
      {{100, 0, 0}, 255, 255, 255},
      {{53.585, 0, 0}, 128, 128, 128},
      {{53.241, 80.092, 67.203}, 255, 0, 0},
      {{87.735, -86.183, 83.179}, 0, 255, 0},
      {{32.297, 79.188, -107.860}, 0, 0, 255},
  };
  for (const auto& c : cases) {
    double xyz[3];
    LabToXyz(c.lab, xyz);
    const Rgb rgb = SrgbOfXyz(xyz);
    EXPECT_NEAR(rgb.red, c.red, 1) << c.lab.lightness << " " << c.lab.a << " " << c.lab.b;
    EXPECT_NEAR(rgb.green, c.green, 1) << c.lab.lightness << " " << c.lab.a << " " << c.lab.b;
    EXPECT_NEAR(rgb.blue, c.blue, 1) << c.lab.lightness << " " << c.lab.a << " " << c.lab.b;
  }
}

TEST(ColorSpaceTest, NeutralLabStaysGray) {
  for (const double lightness : {1.0, 8.0, 8.1, 25.0, 50.0, 75.0, 99.0}) {
    double xyz[3];
    LabToXyz(Lab{lightness, 0, 0}, xyz);
    const Rgb rgb = SrgbOfXyz(xyz);
    EXPECT_EQ(rgb.red, rgb.green) << lightness;
    EXPECT_EQ(rgb.green, rgb.blue) << lightness;
  }
}

}  // namespace
}  // namespace ostrel
