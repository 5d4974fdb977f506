#include "converter/background_survey.h"

#include <cstddef>
#include <optional>
#include <utility>

namespace ostrel {

BackgroundSurvey::BackgroundSurvey(std::span<const uint32_t> frame, Survey survey)
    : frame_(frame), survey_(std::move(survey)) {
  channel_.Start([this] { Work(); });
}

void BackgroundSurvey::Decoded(size_t pixels) { channel_.HandOver(pixels); }

void BackgroundSurvey::Finish() { channel_.Finish(); }

void BackgroundSurvey::Work() {
  size_t surveyed = 0;
  while (const std::optional<size_t> end = channel_.TakeWork(surveyed)) {
    survey_(frame_.subspan(surveyed, *end - surveyed));
    surveyed = *end;
  }
}

}  // namespace ostrel
