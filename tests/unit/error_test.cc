#include "platform/error.h"

#include <cerrno>
#include <climits>
#include <new>
#include <stdexcept>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(ReportTailTest, WritesTheNumberWithASignPosition) {
  const struct {
    int32_t number;
    const char* description;
    const char* tail;
  } cases[] = {
      {13, "Type mismatch", "Type mismatch Error Number =  13"},
      {0, "", " Error Number =  0"},
      {-5, "x", "x Error Number = -5"},
      {INT32_MIN, "min", "min Error Number = -2147483648"},
      {INT32_MAX, "max", "max Error Number =  2147483647"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReportTail(Error(c.number, c.description)), c.tail) << c.number;
  }
}

TEST(ErrorTest, OwnKindsHaveDistinctNumbersAndCarryTheirDetail) {
  const ErrorKind kinds[] = {ErrorKind::kInvalidArgument, ErrorKind::kOverflow,
                             ErrorKind::kOutOfMemory,     ErrorKind::kSubscriptOutOfRange,
                             ErrorKind::kTypeMismatch,    ErrorKind::kInternalFailure};
  for (const ErrorKind a : kinds) {
    for (const ErrorKind b : kinds) {
      if (a != b) {
        EXPECT_NE(Error(a).number(), Error(b).number());
      }
    }
  }
  EXPECT_EQ(Error(ErrorKind::kInvalidArgument, "FN holds a \"/\"").description(),
            "Invalid argument: FN holds a \"/\"");
}

Error Caught(const auto& throw_it) {
  try {
    throw_it();
  } catch (...) {
    return CurrentError();
  }
  return Error(0, "nothing thrown");
}

TEST(ErrorTest, CurrentErrorMapsStandardExceptionsToOwnKinds) {
  EXPECT_EQ(Caught([] { throw Error(42, "own"); }).description(), "own");
  EXPECT_EQ(Caught([] { throw std::bad_alloc(); }).number(),
            Error(ErrorKind::kOutOfMemory).number());
  EXPECT_EQ(Caught([] { throw std::out_of_range("at"); }).number(),
            Error(ErrorKind::kSubscriptOutOfRange).number());
  EXPECT_EQ(Caught([] { throw 7; }).number(), Error(ErrorKind::kInternalFailure).number());
}

TEST(ErrorTest, PosixErrorNamesTheCallAndTheSystemText) {
  const Error error = PosixError("open /srv/x.tif", ENOENT);
  EXPECT_EQ(error.number(), ENOENT);
  EXPECT_EQ(error.description(), "open /srv/x.tif: No such file or directory");
}

}  // namespace
}  // namespace ostrel
