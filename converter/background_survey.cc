#include "converter/background_survey.h"

#include <cstddef>
#include <optional>

namespace ostrel {

BackgroundSurvey::BackgroundSurvey(std::span<const uint32_t> frame, ColorReduction& reduction)
    : frame_(frame), reduction_(reduction) {
  channel_.Start([this] { Work(); });
}

void BackgroundSurvey::Decoded(size_t pixels) { channel_.HandOver(pixels); }

void BackgroundSurvey::Finish() { channel_.Finish(); }

void BackgroundSurvey::Work() {
  size_t surveyed = 0;
  while (const std::optional<size_t> end = channel_.TakeWork(surveyed)) {
    reduction_.Survey(frame_.subspan(surveyed, *end - surveyed));
    surveyed = *end;
  }
}

}  // namespace ostrel
