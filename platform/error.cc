#include "platform/error.h"

#include <string.h>

#include <new>
#include <stdexcept>
#include <utility>

namespace ostrel {
namespace {

struct KindInfo {
  int32_t number;
  const char* description;
};

KindInfo InfoOf(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kInvalidArgument:
      return {5, "Invalid argument"};
    case ErrorKind::kOverflow:
      return {6, "Overflow"};
    case ErrorKind::kOutOfMemory:
      return {7, "Out of memory"};
    case ErrorKind::kSubscriptOutOfRange:
      return {9, "Subscript out of range"};
    case ErrorKind::kTypeMismatch:
      return {13, "Type mismatch"};
    case ErrorKind::kInternalFailure:
      return {51, "Internal failure"};
  }
  return {51, "Internal failure"};
}

std::string DescribeKind(ErrorKind kind, std::string_view detail) {
  std::string description = InfoOf(kind).description;
  if (!detail.empty()) {
    description.append(": ").append(detail);
  }
  return description;
}

int32_t RangeStart(ErrorSource source) {
  switch (source) {
    case ErrorSource::kProgram:
      return 0;
    case ErrorSource::kConverterStatus:
      return 100;
    case ErrorSource::kConverterSignal:
      return 400;
    case ErrorSource::kSystem:
      return 1000;
    case ErrorSource::kRequestRefused:
      return 10000;
  }
  return 0;
}

}  // namespace

Error::Error(ErrorSource source, int32_t code, std::string description)
    : source_(source), code_(code), description_(std::move(description)) {}

Error::Error(ErrorKind kind, std::string_view detail)
    : source_(ErrorSource::kProgram),
      code_(InfoOf(kind).number),
      description_(DescribeKind(kind, detail)) {}

int32_t Error::number() const {
  // The program's own codes are its numbers; other sources' codes (errno
  // values, exit statuses, signals, HTTP statuses) are small enough to move
  // up.
  return RangeStart(source_) + code_;
}

bool Error::Is(ErrorKind kind) const {
  return source_ == ErrorSource::kProgram && code_ == InfoOf(kind).number;
}

std::string ReportTail(const Error& error) {
  std::string tail = error.description();
  tail.append(" Error Number = ");
  if (error.number() >= 0) {
    tail.push_back(' ');
  }
  tail.append(std::to_string(error.number()));
  return tail;
}

Error CurrentError() {
  try {
    throw;
  } catch (const Error& error) {
    return error;
  } catch (const std::bad_alloc&) {
    return Error(ErrorKind::kOutOfMemory);
  } catch (const std::length_error& error) {
    // A size beyond what a container can describe: no allocation was tried.
    return Error(ErrorKind::kOverflow, error.what());
  } catch (const std::out_of_range& error) {
    return Error(ErrorKind::kSubscriptOutOfRange, error.what());
  } catch (const std::overflow_error& error) {
    return Error(ErrorKind::kOverflow, error.what());
  } catch (const std::invalid_argument& error) {
    return Error(ErrorKind::kInvalidArgument, error.what());
  } catch (const std::exception& error) {
    return Error(ErrorKind::kInternalFailure, error.what());
  } catch (...) {
    return Error(ErrorKind::kInternalFailure);
  }
}

Error PosixError(std::string_view what, int error_number) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not be `buffer`.
  const char* text = strerror_r(error_number, buffer, sizeof buffer);
  std::string description(what);
  description.append(": ").append(text);
  return Error(ErrorSource::kSystem, error_number, std::move(description));
}

}  // namespace ostrel
