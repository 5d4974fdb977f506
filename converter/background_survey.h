// The colour survey of a held frame on a worker thread: each band is
// surveyed while the next is being decoded, so that the first pass costs
// about its decoding alone.
#ifndef OSTREL_CONVERTER_BACKGROUND_SURVEY_H_
#define OSTREL_CONVERTER_BACKGROUND_SURVEY_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "converter/worker_channel.h"

namespace ostrel {

class BackgroundSurvey {
 public:
  // Takes libtiff RGBA pixels, each of the frame once, in order, in any
  // grouping: ColorReduction::Survey or ExactColors::Survey.
  using Survey = std::function<void(std::span<const uint32_t>)>;

  // Starts the worker, which passes the pixels of `frame` to `survey` as
  // they are declared decoded. Neither is touched by this thread until
  // Finish, nor is what `survey` changes. Raises kOutOfMemory when no
  // thread can be started.
  BackgroundSurvey(std::span<const uint32_t> frame, Survey survey);
  // Stops the worker and waits for it: the conversion has failed.
  ~BackgroundSurvey() = default;
  BackgroundSurvey(const BackgroundSurvey&) = delete;
  BackgroundSurvey& operator=(const BackgroundSurvey&) = delete;

  // The first `pixels` pixels of the frame are decoded and stay as they are.
  void Decoded(size_t pixels);

  // Waits until all pixels declared decoded have been surveyed. Raises what
  // the survey raised.
  void Finish();

 private:
  void Work();

  const std::span<const uint32_t> frame_;
  const Survey survey_;
  // Hands the count of pixels decoded over to the worker.
  WorkerChannel channel_;  // last: its worker stops first
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_BACKGROUND_SURVEY_H_
