// A second thread of the process, for work that runs beside the main thread.
#ifndef OSTREL_PLATFORM_WORKER_THREAD_H_
#define OSTREL_PLATFORM_WORKER_THREAD_H_

#include <cstddef>
#include <functional>
#include <memory>

namespace ostrel {

class WorkerThread {
 public:
  // The worker's stack: its work keeps its data on the heap, and a process
  // confined to an address space limit pays for every byte reserved.
  static constexpr size_t kStackBytes = size_t{256} << 10;

  // Runs `work` on a new thread with a stack of kStackBytes. The
  // termination signals are blocked in it, so that their handler (see
  // termination_cleanup.h) runs on the thread that started it. `work` must
  // not raise: an exception leaving it ends the process. Raises PosixError
  // when the thread cannot be created.
  explicit WorkerThread(std::function<void()> work);
  // Waits until `work` has returned.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

 private:
  struct Thread;
  std::unique_ptr<Thread> thread_;
};

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_WORKER_THREAD_H_
