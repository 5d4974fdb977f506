#include "converter/worker_channel.h"

#include <utility>

#include "converter/conversion_failure.h"

namespace ostrel {

void WorkerChannel::Start(std::function<void()> work) {
  WithFailureKind(ConversionFailure::kOutOfMemory, [&] {
    worker_.emplace([this, work = std::move(work)] {
      try {
        work();
      } catch (...) {  // carried to the producer, which raises it on its own thread
        {
          const std::lock_guard lock(mutex_);
          failure_ = std::current_exception();
        }
        room_ready_.notify_one();
      }
    });
  });
}

void WorkerChannel::HandOver(size_t handed_over) {
  bool wake = false;
  {
    const std::lock_guard lock(mutex_);
    handed_over_ = handed_over;
    wake = worker_waiting_;
  }
  // A busy worker finds the new work when it next looks: no wake-up.
  if (wake) {
    work_ready_.notify_one();
  }
}

void WorkerChannel::WaitForRoom(size_t full, size_t resume_at) {
  std::unique_lock lock(mutex_);
  if (handed_over_ - handed_back_ >= full) {
    producer_resumes_at_ = resume_at;
    room_ready_.wait(lock, [&] { return failure_ || handed_over_ - handed_back_ <= resume_at; });
    producer_resumes_at_.reset();
  }
  if (failure_) {
    std::rethrow_exception(failure_);
  }
}

void WorkerChannel::Finish() {
  End(finishing_);
  // The worker has ended: failure_ is no longer shared.
  if (failure_) {
    std::rethrow_exception(failure_);
  }
}

void WorkerChannel::Stop() { End(stopping_); }

void WorkerChannel::End(bool& flag) {
  if (!worker_) {
    return;
  }
  {
    const std::lock_guard lock(mutex_);
    flag = true;
  }
  work_ready_.notify_one();
  worker_.reset();
}

std::optional<size_t> WorkerChannel::TakeWork(size_t taken) {
  std::unique_lock lock(mutex_);
  worker_waiting_ = true;
  work_ready_.wait(lock, [&] { return stopping_ || finishing_ || handed_over_ > taken; });
  worker_waiting_ = false;
  if (stopping_ || handed_over_ == taken) {
    return std::nullopt;
  }
  return handed_over_;
}

void WorkerChannel::HandBack(size_t handed_back) {
  bool wake = false;
  {
    const std::lock_guard lock(mutex_);
    handed_back_ = handed_back;
    wake = producer_resumes_at_ && handed_over_ - handed_back_ <= *producer_resumes_at_;
  }
  if (wake) {
    room_ready_.notify_one();
  }
}

}  // namespace ostrel
