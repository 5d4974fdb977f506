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
  EXPECT_EQ(StatusOfRaised([] { throw Error(ErrorSource::kConverterStatus, -5, "x"); }), 41);
  EXPECT_EQ(StatusOfRaised([] { throw 1; }), 41);
  // An OS error no step gave a kind is internal, whatever its errno: ENOENT
  // is not the usage status 2, nor ENOMEM out of memory.
  for (const int errno_value : {ENOENT, EINVAL, ENOMEM, ELOOP}) {
    EXPECT_EQ(StatusOfRaised([&] { throw PosixError("x", errno_value); }), 41) << errno_value;
  }
  for (const ErrorSource source : {ErrorSource::kProgram, ErrorSource::kConverterStatus,
                                   ErrorSource::kConverterSignal, ErrorSource::kSystem}) {
    for (int code = -300; code < 300; ++code) {
      const int status = ExitStatusFor(Error(source, code, ""));
      EXPECT_TRUE(status > 0 && status < 126) << code;
    }
  }
}

TEST(ConversionFailureTest, AnOsErrorTakesTheKindOfItsStep) {
  try {
    WithFailureKind(ConversionFailure::kCannotWriteDestination,
                    [] { throw PosixError("open /x", ENOENT); });
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(ExitStatusFor(error), 30);
    EXPECT_EQ(error.description(), "open /x: No such file or directory");
  }
  EXPECT_EQ(WithFailureKind(ConversionFailure::kInternal, [] { return 7; }), 7);
  // A failure that has its kind already keeps it.
  EXPECT_EQ(StatusOfRaised([] {
              WithFailureKind(ConversionFailure::kCannotWriteDestination,
                              [] { throw ConversionError(ConversionFailure::kNoSuchPage, "x"); });
            }),
            24);
  EXPECT_EQ(StatusOfRaised([] {
              WithFailureKind(ConversionFailure::kCannotReadSource,
                              [] { throw Error(ErrorKind::kOutOfMemory); });
            }),
            40);
}

}  // namespace
}  // namespace ostrel
