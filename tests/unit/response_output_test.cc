#include <fcntl.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "cgi/error_page.h"
#include "cgi/ostrel_class.h"
#include "platform/application_log.h"
#include "platform/standard_io.h"
#include "tests/support/expected_page.h"
#include "tests/support/ostrel_class_peer.h"

namespace ostrel {
namespace {

using testing::ExpectedPageBody;
using testing::kExpectedHtmlHeader;

TEST(EscapeTest, HtmlEscapesTheFourMarkupCharactersOnly) {
  EXPECT_EQ(EscapeHtml(""), "");
  EXPECT_EQ(EscapeHtml("<script>alert(\"x\")</script>"),
            "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;");
  EXPECT_EQ(EscapeHtml("a&amp;b'c\\d"), "a&amp;amp;b'c\\d");
}

TEST(EscapeTest, LogTextKeepsEachEntryOnOneLine) {
  EXPECT_EQ(EscapeControlCharacters("a\r\nb\tc"), "a\\r\\nb\\tc");
  EXPECT_EQ(EscapeControlCharacters(std::string("\0\x1b\x7f", 3)), "\\x00\\x1b\\x7f");
  EXPECT_EQ(EscapeControlCharacters("d:\\images\\ \xe9"), "d:\\images\\ \xe9");
}

// Standard output redirected to a pipe or a regular file for one test.
class OutputTest : public ::testing::Test {
 protected:
  void UsePipe() {
    ASSERT_EQ(pipe(pipe_), 0);
    peer_.context().StdOutHandle = FileHandle{pipe_[1]};
  }
  void UseFile(const std::string& prefill) {
    char name[] = "/tmp/ostrel-output-XXXXXX";
    file_ = mkstemp(name);
    ASSERT_GE(file_, 0);
    unlink(name);
    ASSERT_EQ(write(file_, prefill.data(), prefill.size()), static_cast<ssize_t>(prefill.size()));
    peer_.context().StdOutHandle = FileHandle{file_};
  }
  std::string Written() {
    std::string bytes;
    char buffer[4096];
    if (file_ >= 0) {
      for (ssize_t got; (got = pread(file_, buffer, sizeof buffer, bytes.size())) > 0;) {
        bytes.append(buffer, static_cast<size_t>(got));
      }
    } else {
      close(pipe_[1]);
      pipe_[1] = -1;
      for (ssize_t got; (got = read(pipe_[0], buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<size_t>(got));
      }
    }
    return bytes;
  }
  void TearDown() override {
    for (int descriptor : {pipe_[0], pipe_[1], file_}) {
      if (descriptor >= 0) {
        close(descriptor);
      }
    }
  }

  OstrelClass instance_;
  OstrelClassPeer peer_{instance_};
  int pipe_[2] = {-1, -1};
  int file_ = -1;
};

TEST_F(OutputTest, HtmlHeaderIsWrittenOncePerRunAndNeverByRawOutput) {
  UsePipe();
  peer_.SendRaw("raw;");
  peer_.SendRaw("");
  peer_.SendHtml("0123456789");
  peer_.SendHtml("");
  peer_.SendHtml("more");
  EXPECT_EQ(Written(), "raw;" + kExpectedHtmlHeader + "0123456789more");
  EXPECT_TRUE(peer_.context().HtmlHeaderSent);
}

TEST_F(OutputTest, PageOnAFileReplacesAnInterruptedGifResponse) {
  for (const std::string& earlier :
       {std::string("HTTP/1.0 200 OK\r\nContent-Type:image/gif\r\n\r\nGIF89a"),
        "HTTP/1.0 200 OK\r\nContent-Type:image/gif\r\n\r\n" + std::string(5000, '\xff')}) {
    peer_.context() = RequestContext{};
    UseFile(earlier);
    peer_.context().SCRIPT_NAME = "/cgi-bin/ostrel";
    peer_.context().AdminAddress = "admin@example.org";
    peer_.SendErrorPage("broken Error Number =  5");
    EXPECT_EQ(Written(),
              kExpectedHtmlHeader + ExpectedPageBody("/cgi-bin/ostrel", "broken Error Number =  5",
                                                     "admin@example.org"));
    close(file_);
    file_ = -1;
  }
}

TEST_F(OutputTest, SecondPageGetsNoHeaderOfItsOwn) {
  UseFile("");
  peer_.SendErrorPage("first");
  peer_.SendErrorPage("second");
  // On a file the second page overwrites the first and its header from byte 0.
  EXPECT_EQ(Written(), ExpectedPageBody("", "second", ""));
}

TEST_F(OutputTest, PageOnAPipeFollowsWhatWasWritten) {
  UsePipe();
  peer_.SendRaw("HTTP/1.0 200 OK\r\n");
  peer_.SendErrorPage("first");
  peer_.SendErrorPage("second");
  EXPECT_EQ(Written(), "HTTP/1.0 200 OK\r\n" + kExpectedHtmlHeader +
                           ExpectedPageBody("", "first", "") + ExpectedPageBody("", "second", ""));
}

TEST_F(OutputTest, PageEscapesEveryInsertedValue) {
  UsePipe();
  peer_.context().SCRIPT_NAME = "/cgi-bin/<b>";
  peer_.context().AdminAddress = "\"><script>x</script>";
  peer_.SendErrorPage("FN = <img src=x onerror=alert(1)>&");
  EXPECT_EQ(Written(),
            kExpectedHtmlHeader + ExpectedPageBody("/cgi-bin/&lt;b&gt;",
                                                   "FN = &lt;img src=x onerror=alert(1)&gt;&amp;",
                                                   "&quot;&gt;&lt;script&gt;x&lt;/script&gt;"));
}

TEST(ExpectedPageTest, FixedTextsComeTo447Bytes) {
  EXPECT_EQ(kExpectedHtmlHeader.size(), 69u);
  EXPECT_EQ(ExpectedPageBody("", "", "").size(), 447u);
  EXPECT_EQ(kHtmlResponseHeader, kExpectedHtmlHeader);
}

}  // namespace
}  // namespace ostrel
