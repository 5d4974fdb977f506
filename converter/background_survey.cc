#include "converter/background_survey.h"

#include "converter/conversion_failure.h"

namespace ostrel {

BackgroundSurvey::BackgroundSurvey(std::span<const uint32_t> frame, ColorReduction& reduction)
    : frame_(frame), reduction_(reduction) {
  WithFailureKind(ConversionFailure::kOutOfMemory, [&] { worker_.emplace([this] { Work(); }); });
}

BackgroundSurvey::~BackgroundSurvey() {
  if (worker_) {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_one();
    worker_.reset();
  }
}

void BackgroundSurvey::Decoded(size_t pixels) {
  bool wake = false;
  {
    const std::lock_guard lock(mutex_);
    decoded_ = pixels;
    wake = worker_waiting_;
  }
  // A busy worker finds the new pixels when it next looks: no wake-up.
  if (wake) {
    work_ready_.notify_one();
  }
}

void BackgroundSurvey::Finish() {
  {
    const std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  work_ready_.notify_one();
  worker_.reset();
  if (failure_) {
    std::rethrow_exception(failure_);
  }
}

void BackgroundSurvey::Work() {
  size_t surveyed = 0;
  for (;;) {
    size_t end = 0;
    {
      std::unique_lock lock(mutex_);
      worker_waiting_ = true;
      work_ready_.wait(lock, [&] { return stopping_ || finishing_ || decoded_ > surveyed; });
      worker_waiting_ = false;
      if (stopping_ || (finishing_ && decoded_ == surveyed)) {
        return;
      }
      end = decoded_;
    }
    try {
      reduction_.Survey(frame_.subspan(surveyed, end - surveyed));
    } catch (...) {
      const std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
      return;
    }
    surveyed = end;
  }
}

}  // namespace ostrel
