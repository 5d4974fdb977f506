#include "platform/worker_thread.h"

#include <pthread.h>

#include <utility>

#include "platform/error.h"
#include "platform/termination_cleanup.h"

namespace ostrel {

struct WorkerThread::Thread {
  std::function<void()> work;
  pthread_t id{};
};

namespace {

void* RunWork(void* thread) {
  static_cast<const std::function<void()>*>(thread)->operator()();
  return nullptr;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> work)
    : thread_(std::make_unique<Thread>(Thread{std::move(work)})) {
  pthread_attr_t attributes;
  int error_number = pthread_attr_init(&attributes);
  if (error_number != 0) {
    throw PosixError("pthread_attr_init", error_number);
  }
  error_number = pthread_attr_setstacksize(&attributes, kStackBytes);
  if (error_number == 0) {
    // The new thread inherits the signal mask of the one creating it.
    WithTerminationSignalsBlocked(
        [&] { error_number = pthread_create(&thread_->id, &attributes, RunWork, &thread_->work); });
  }
  (void)pthread_attr_destroy(&attributes);  // cannot fail for an initialized object
  if (error_number != 0) {
    throw PosixError("pthread_create", error_number);
  }
}

WorkerThread::~WorkerThread() {
  // Fails only for a thread that is not joinable, which this one is.
  (void)pthread_join(thread_->id, nullptr);
}

}  // namespace ostrel
