#include "converter/worker_handoff.h"

#include <utility>

#include "converter/conversion_failure.h"

namespace ostrel {

void WorkerHandoff::Start(std::function<void()> work, std::function<void()> after_failure) {
  WithFailureKind(ConversionFailure::kOutOfMemory, [&] {
    worker_.emplace([this, work = std::move(work), after_failure = std::move(after_failure)] {
      try {
        work();
      } catch (...) {  // carried to the producer, which raises it on its own thread
        {
          const std::lock_guard lock(mutex);
          failure = std::current_exception();
        }
        if (after_failure) {
          after_failure();
        }
      }
    });
  });
}

void WorkerHandoff::Stop() { End(stopping); }

void WorkerHandoff::Finish() {
  End(finishing);
  if (failure) {
    std::rethrow_exception(failure);
  }
}

void WorkerHandoff::End(bool& flag) {
  if (!worker_) {
    return;
  }
  {
    const std::lock_guard lock(mutex);
    flag = true;
  }
  work_ready.notify_one();
  worker_.reset();
}

}  // namespace ostrel
