#include "cgi/request_context.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include "cgi/ostrel_class.h"
#include "platform/error.h"
#include "tests/support/ostrel_class_peer.h"

namespace ostrel {
namespace {

TEST(ContentLengthTest, ReadsTheLeadingNumberRoundedHalfToEven) {
  const struct {
    const char* text;
    int32_t length;
  } cases[] = {
      {"", 0},
      {"abc", 0},
      {"12abc", 12},
      {"  7", 7},
      {"+9", 9},
      {"-1", -1},
      {"2.5", 2},
      {"3.5", 4},
      {"-2.5", -2},
      {"0.5", 0},
      {"1.5", 2},
      {"1e3", 1000},
      {"12 34", 12},
      {"0x1A", 0},
      {".5", 0},
      {"inf", 0},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483647.4", 2147483647},
      {"-", 0},
      {"1e", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContentLengthFromText(c.text), c.length) << '"' << c.text << '"';
  }
}

TEST(ContentLengthTest, BeyondTheSigned32BitRangeIsAnOverflow) {
  const int32_t overflow = Error(ErrorKind::kOverflow).number();
  for (const char* text :
       {"2147483648", "-2147483649", "99999999999", "2147483647.5", "1e10", "1e999"}) {
    try {
      ContentLengthFromText(text);
      ADD_FAILURE() << text << " did not raise";
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), overflow) << text;
    }
  }
}

TEST(CaptureRequestTest, CopiesEveryVariableByItsOwnName) {
  for (const CgiVariable& variable : kCgiVariables) {
    ASSERT_EQ(setenv(variable.name, (std::string("value of ") + variable.name).c_str(), 1), 0);
  }
  ASSERT_EQ(setenv("CONTENT_LENGTH", "12abc", 1), 0);
  OstrelClass instance;
  OstrelClassPeer peer(instance);
  peer.CaptureRequest();
  for (const CgiVariable& variable : kCgiVariables) {
    if (std::string(variable.name) != "CONTENT_LENGTH") {
      EXPECT_EQ(peer.context().*variable.field, std::string("value of ") + variable.name);
    }
    ASSERT_EQ(unsetenv(variable.name), 0);
  }
  EXPECT_EQ(peer.context().ContentLength, 12);
  EXPECT_EQ(peer.context().AdminAddress, OSTREL_ADMIN_ADDRESS);
  EXPECT_EQ(peer.context().Pairs.size(), 1u);
  EXPECT_FALSE(peer.context().HtmlHeaderSent);
}

TEST(CaptureRequestTest, CopiesTheServiceVariablesByTheirOwnNames) {
  for (const CgiVariable& variable : kServiceCgiVariables) {
    ASSERT_EQ(setenv(variable.name, (std::string("value of ") + variable.name).c_str(), 1), 0);
  }
  OstrelClass instance;
  OstrelClassPeer peer(instance);
  peer.CaptureRequest();
  for (const CgiVariable& variable : kServiceCgiVariables) {
    EXPECT_EQ(peer.context().*variable.field, std::string("value of ") + variable.name);
    ASSERT_EQ(unsetenv(variable.name), 0);
  }
}

}  // namespace
}  // namespace ostrel
