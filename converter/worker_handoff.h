// What a producer shares with the worker thread that takes its work: the
// lock and wake-up over their state, the two ways of ending, and the
// failure the worker carries back.
#ifndef OSTREL_CONVERTER_WORKER_HANDOFF_H_
#define OSTREL_CONVERTER_WORKER_HANDOFF_H_

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/worker_thread.h"

namespace ostrel {

class WorkerHandoff {
 public:
  WorkerHandoff() = default;
  // Stops the worker, if it still runs, and waits for it.
  ~WorkerHandoff() { Stop(); }
  WorkerHandoff(const WorkerHandoff&) = delete;
  WorkerHandoff& operator=(const WorkerHandoff&) = delete;

  // Runs `work` on a worker thread. What it raises is kept in `failure`,
  // then `after_failure` runs on the worker. Raises kOutOfMemory when no
  // thread can be started.
  void Start(std::function<void()> work, std::function<void()> after_failure = {});

  // Sets `stopping` (the producer failed: the worker ends at once) and
  // waits for the worker.
  void Stop();

  // Sets `finishing` (no more work comes: the worker ends once it has done
  // what it was given), waits for the worker and raises its failure.
  void Finish();

  std::mutex mutex;
  std::condition_variable work_ready;  // new work, or an end
  // Under `mutex`:
  bool stopping = false;
  bool finishing = false;
  std::exception_ptr failure;

 private:
  void End(bool& flag);

  std::optional<WorkerThread> worker_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_WORKER_HANDOFF_H_
