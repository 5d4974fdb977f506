// A worker thread and the one way across to it: the producer hands work over
// as a count that grows (blocks, pixels), the worker hands back a count of
// what it is done with, and the worker's failure travels back to be raised
// on the producer's thread.
#ifndef OSTREL_CONVERTER_WORKER_CHANNEL_H_
#define OSTREL_CONVERTER_WORKER_CHANNEL_H_

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/worker_thread.h"

namespace ostrel {

class WorkerChannel {
 public:
  WorkerChannel() = default;
  // Stops the worker, if it still runs, and waits for it.
  ~WorkerChannel() { Stop(); }
  WorkerChannel(const WorkerChannel&) = delete;
  WorkerChannel& operator=(const WorkerChannel&) = delete;

  // Runs `work` on a worker thread; it takes its work through TakeWork and
  // returns once TakeWork has nothing more. What it raises is kept, wakes a
  // producer waiting in WaitForRoom, and is raised there and by Finish.
  // Raises kOutOfMemory when no thread can be started.
  void Start(std::function<void()> work);

  // The producer's side.

  // Counts the work handed over so far as `handed_over`, never less than
  // before; anything it covers is the worker's until handed back.
  void HandOver(size_t handed_over);

  // When `full` or more of what was handed over is not yet handed back,
  // waits until no more than `resume_at` is, so that a faster producer
  // costs the worker one wake-up per stretch of work, not one per item.
  // Raises the worker's failure, once it has failed, whether it waited or
  // not.
  void WaitForRoom(size_t full, size_t resume_at);

  // Tells the worker that no more work comes: it ends once it has taken all
  // of it. Waits for the worker and raises its failure.
  void Finish();

  // Tells the worker to end as soon as it next looks for work, leaving the
  // rest (the producer has failed), and waits for it. Raises nothing.
  void Stop();

  // The worker's side.

  // Waits until more than `taken` has been handed over, and returns the
  // count handed over. Returns nothing once Stop was called, or once Finish
  // was called and `taken` is all there is: the work ends.
  std::optional<size_t> TakeWork(size_t taken);

  // Hands back the first `handed_back` of the work, never less than before,
  // for the producer to reuse.
  void HandBack(size_t handed_back);

 private:
  void End(bool& flag);

  std::mutex mutex_;
  std::condition_variable work_ready_;  // more work handed over, or an end
  std::condition_variable room_ready_;  // enough handed back, or the worker failed
  // Under mutex_:
  size_t handed_over_ = 0;
  size_t handed_back_ = 0;
  bool worker_waiting_ = false;
  std::optional<size_t> producer_resumes_at_;  // while it waits for room
  bool stopping_ = false;
  bool finishing_ = false;
  std::exception_ptr failure_;

  std::optional<WorkerThread> worker_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_WORKER_CHANNEL_H_
