// Catching the Error a call raises, so that tests compare it as a value.
#ifndef OSTREL_TESTS_SUPPORT_RAISED_ERROR_H_
#define OSTREL_TESTS_SUPPORT_RAISED_ERROR_H_

#include "platform/error.h"

namespace ostrel::testing {

// The Error that `action` raises, or an error numbered 0 when it
// returns normally; no error of the program has number 0.
template <typename Action>
Error RaisedError(Action&& action) {
  try {
    action();
  } catch (const Error& error) {  // the error is the result under test
    return error;
  }
  return Error(ErrorSource::kProgram, 0, "nothing raised");
}

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_RAISED_ERROR_H_
