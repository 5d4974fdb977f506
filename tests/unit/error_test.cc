#include "platform/error.h"

#include <cerrno>
#include <climits>
#include <map>
#include <new>
#include <stdexcept>
#include <string>

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
    EXPECT_EQ(ReportTail(Error(ErrorSource::kProgram, c.number, c.description)), c.tail)
        << c.number;
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
  return Error(ErrorSource::kProgram, 0, "nothing thrown");
}

TEST(ErrorTest, CurrentErrorMapsStandardExceptionsToOwnKinds) {
  EXPECT_EQ(Caught([] { throw Error(ErrorSource::kSystem, 42, "own"); }).description(), "own");
  EXPECT_EQ(Caught([] { throw std::bad_alloc(); }).number(),
            Error(ErrorKind::kOutOfMemory).number());
  EXPECT_EQ(Caught([] { std::string().reserve(std::string().max_size() + 1); }).number(),
            Error(ErrorKind::kOverflow).number());
  EXPECT_EQ(Caught([] { throw std::out_of_range("at"); }).number(),
            Error(ErrorKind::kSubscriptOutOfRange).number());
  EXPECT_EQ(Caught([] { throw 7; }).number(), Error(ErrorKind::kInternalFailure).number());
}

TEST(ErrorTest, PosixErrorNamesTheCallAndTheSystemText) {
  const Error error = PosixError("open /srv/x.tif", ENOENT);
  EXPECT_EQ(error.source(), ErrorSource::kSystem);
  EXPECT_EQ(error.code(), ENOENT);
  EXPECT_EQ(error.description(), "open /srv/x.tif: No such file or directory");
}

TEST(ErrorTest, EachSourceNumbersInARangeOfItsOwn) {
  // Every code a source can give: the program's own kinds, exit statuses,
  // signals, errno values. No number may stand for two of them.
  std::map<int32_t, std::string> seen;
  const auto record = [&](const Error& error, const std::string& what) {
    const auto [place, added] = seen.emplace(error.number(), what);
    EXPECT_TRUE(added) << what << " and " << place->second << " share " << error.number();
  };
  for (const ErrorKind kind :
       {ErrorKind::kInvalidArgument, ErrorKind::kOverflow, ErrorKind::kOutOfMemory,
        ErrorKind::kSubscriptOutOfRange, ErrorKind::kTypeMismatch, ErrorKind::kInternalFailure}) {
    record(Error(kind), Error(kind).description());
  }
  for (int32_t status = 1; status < 256; ++status) {
    record(Error(ErrorSource::kConverterStatus, status, ""), "status " + std::to_string(status));
  }
  for (int32_t signal = 1; signal < 65; ++signal) {
    record(Error(ErrorSource::kConverterSignal, signal, ""), "signal " + std::to_string(signal));
  }
  for (int32_t errno_value = 1; errno_value < 4096; ++errno_value) {
    record(PosixError("x", errno_value), "errno " + std::to_string(errno_value));
  }
  for (int32_t status = 100; status < 600; ++status) {
    record(Error(ErrorSource::kRequestRefused, status, ""), "HTTP " + std::to_string(status));
  }
  // The program's own numbers are kept as they were.
  EXPECT_EQ(Error(ErrorKind::kInvalidArgument).number(), 5);
  EXPECT_EQ(Error(ErrorKind::kOverflow).number(), 6);
  EXPECT_EQ(Error(ErrorKind::kOutOfMemory).number(), 7);
  EXPECT_EQ(Error(ErrorKind::kSubscriptOutOfRange).number(), 9);
  EXPECT_EQ(Error(ErrorKind::kTypeMismatch).number(), 13);
  EXPECT_EQ(Error(ErrorKind::kInternalFailure).number(), 51);
}

}  // namespace
}  // namespace ostrel
