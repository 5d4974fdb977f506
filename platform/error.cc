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

}  // namespace

Error::Error(int32_t number, std::string description)
    : number_(number), description_(std::move(description)) {}

Error::Error(ErrorKind kind, std::string_view detail)
    : number_(InfoOf(kind).number), description_(DescribeKind(kind, detail)) {}

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
    return Error(ErrorKind::kOutOfMemory, error.what());
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
  return Error(error_number, std::move(description));
}

}  // namespace ostrel
