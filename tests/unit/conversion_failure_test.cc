#include "converter/conversion_failure.h"

#include <cerrno>
#include <functional>
#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

int StatusOfRaised(const std::function<void()>& raise) {
  try {
    raise();
  } catch (...) {
    return ExitStatusFor(CurrentError());
  }
  return -1;
}

TEST(ConversionFailureTest, ExitStatusTellsTheKindAndLooksLikeNoSignal) {
  EXPECT_EQ(StatusOfRaised([] { throw ConversionError(ConversionFailure::kNoSuchPage, "x"); }), 24);
  EXPECT_EQ(StatusOfRaised([] { throw std::bad_alloc(); }), 40);
  EXPECT_EQ(StatusOfRaised([] { throw Error(ErrorKind::kOutOfMemory); }), 40);
  EXPECT_EQ(StatusOfRaised([] { throw std::logic_error("x"); }), 41);
  EXPECT_EQ(StatusOfRaised([] { throw Error(-5, "x"); }), 41);
  EXPECT_EQ(StatusOfRaised([] { throw 1; }), 41);
  for (int number = -300; number < 300; ++number) {
    const int status = ExitStatusFor(Error(number, ""));
    EXPECT_TRUE(status > 0 && status < 126) << number;
  }
}

TEST(ConversionFailureTest, AnOsErrorTakesTheKindOfItsStep) {
  try {
    WithFailureKind(ConversionFailure::kCannotWriteDestination,
                    [] { throw PosixError("open /x", ENOENT); });
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 30);
    EXPECT_EQ(error.description(), "open /x: No such file or directory");
  }
  EXPECT_EQ(WithFailureKind(ConversionFailure::kInternal, [] { return 7; }), 7);
}

}  // namespace
}  // namespace ostrel
