#include "converter/background_survey.h"

namespace ostrel {

BackgroundSurvey::BackgroundSurvey(std::span<const uint32_t> frame, ColorReduction& reduction)
    : frame_(frame), reduction_(reduction) {
  handoff_.Start([this] { Work(); });
}

void BackgroundSurvey::Decoded(size_t pixels) {
  bool wake = false;
  {
    const std::lock_guard lock(handoff_.mutex);
    decoded_ = pixels;
    wake = worker_waiting_;
  }
  // A busy worker finds the new pixels when it next looks: no wake-up.
  if (wake) {
    handoff_.work_ready.notify_one();
  }
}

void BackgroundSurvey::Finish() { handoff_.Finish(); }

void BackgroundSurvey::Work() {
  size_t surveyed = 0;
  for (;;) {
    size_t end = 0;
    {
      std::unique_lock lock(handoff_.mutex);
      worker_waiting_ = true;
      handoff_.work_ready.wait(
          lock, [&] { return handoff_.stopping || handoff_.finishing || decoded_ > surveyed; });
      worker_waiting_ = false;
      if (handoff_.stopping || (handoff_.finishing && decoded_ == surveyed)) {
        return;
      }
      end = decoded_;
    }
    reduction_.Survey(frame_.subspan(surveyed, end - surveyed));
    surveyed = end;
  }
}

}  // namespace ostrel
