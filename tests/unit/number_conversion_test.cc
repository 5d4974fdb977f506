#include "helpers/number_conversion.h"

#include <climits>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

TEST(TextToInt32Test, ReadsAWholeDecimalNumber) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"0", 0},
      {" 12", 12},
      {"12 \t", 12},
      {"-7", -7},
      {"+7", 7},
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {".5", 0},
      {"0.5e1", 5},
      {"1e3", 1000},
      {"1e-999", 0},
      {"007", 7},
      {"2147483647", INT32_MAX},
      {"-2147483648", INT32_MIN},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToInt32(c.text), c.value) << '"' << c.text << '"';
  }
}

TEST(TextToInt32Test, RefusesTextThatIsNoNumberOrTooLarge) {
  const struct {
    const char* text;
    ErrorKind kind;
  } cases[] = {
      {"", ErrorKind::kTypeMismatch},         {" ", ErrorKind::kTypeMismatch},
      {"abc", ErrorKind::kTypeMismatch},      {"12abc", ErrorKind::kTypeMismatch},
      {"0x1A", ErrorKind::kTypeMismatch},     {"inf", ErrorKind::kTypeMismatch},
      {"nan", ErrorKind::kTypeMismatch},      {"-", ErrorKind::kTypeMismatch},
      {"1e", ErrorKind::kTypeMismatch},       {"1 2", ErrorKind::kTypeMismatch},
      {"0\n", ErrorKind::kTypeMismatch},      {"--1", ErrorKind::kTypeMismatch},
      {"2147483648", ErrorKind::kOverflow},   {"-2147483649", ErrorKind::kOverflow},
      {"2147483647.5", ErrorKind::kOverflow}, {"1e99", ErrorKind::kOverflow},
      {"1e999", ErrorKind::kOverflow},        {"-1e999", ErrorKind::kOverflow},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(testing::RaisedError([&] { TextToInt32(c.text); }).number(), Error(c.kind).number())
        << '"' << c.text << '"';
  }
}

}  // namespace
}  // namespace ostrel
