#include "converter/background_survey.h"

#include <cstdint>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "converter/color_reduction.h"

namespace ostrel {
namespace {

// Libtiff RGBA pixels of many colours, every 97th one transparent.
std::vector<uint32_t> Frame(uint32_t width, uint32_t height) {
  std::vector<uint32_t> pixels(size_t{width} * height);
  for (size_t i = 0; i < pixels.size(); ++i) {
    const auto value = static_cast<uint32_t>(i * 2654435761u);
    pixels[i] = i % 97 == 0 ? 0 : (value & 0xffffff) | 0xff000000u;
  }
  return pixels;
}

// The palette and indices of a reduction surveyed in one call on this thread.
struct Mapped {
  IndexedPalette palette;
  std::vector<uint8_t> indices;
};

Mapped MapAll(ColorReduction& reduction, std::span<const uint32_t> frame, uint32_t width) {
  Mapped mapped{reduction.ChoosePalette(), std::vector<uint8_t>(frame.size())};
  for (size_t start = 0; start < frame.size(); start += width) {
    reduction.MapRow(frame.subspan(start, width),
                     std::span<uint8_t>(mapped.indices).subspan(start, width));
  }
  return mapped;
}

TEST(BackgroundSurveyTest, SurveysAsOneCallOnThisThreadWouldWhateverTheSteps) {
  constexpr uint32_t kWidth = 40;
  const std::vector<uint32_t> frame = Frame(kWidth, 30);
  ColorReduction direct(16, true, kWidth);
  direct.Survey(frame);
  const Mapped expected = MapAll(direct, frame, kWidth);
  // No step, one, repeated ends, and steps that end inside rows.
  const std::vector<std::vector<size_t>> step_lists = {
      {}, {frame.size()}, {0, 400, 400, 401, 999, frame.size()}, {1, 2, 3, frame.size()}};
  for (const std::vector<size_t>& steps : step_lists) {
    SCOPED_TRACE(::testing::Message() << steps.size() << " steps");
    ColorReduction reduction(16, true, kWidth);
    BackgroundSurvey survey(
        frame, [&reduction](std::span<const uint32_t> pixels) { reduction.Survey(pixels); });
    for (const size_t decoded : steps) {
      survey.Decoded(decoded);
    }
    survey.Finish();
    if (steps.empty()) {
      EXPECT_TRUE(reduction.ChoosePalette().colors.empty());
      continue;
    }
    const Mapped mapped = MapAll(reduction, frame, kWidth);
    EXPECT_EQ(mapped.palette.colors, expected.palette.colors);
    EXPECT_EQ(mapped.palette.transparent_index, expected.palette.transparent_index);
    EXPECT_EQ(mapped.indices, expected.indices);
  }
}

}  // namespace
}  // namespace ostrel
