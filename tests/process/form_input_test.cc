// Form input as a web server delivers it, seen through the source item that
// FN and Path make for the component.
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/expected_page.h"
#include "tests/support/fake_component.h"
#include "tests/support/process_harness.h"

namespace ostrel::testing {
namespace {

using std::chrono::milliseconds;

constexpr char kUrlEncoded[] = "application/x-www-form-urlencoded";
const std::string kConverterFailed =
    "cannot open source d:/images/scan01.tif: No such file Error Number =  3";

class FormInputTest : public ::testing::Test {
 protected:
  void SetUp() override { sandbox_.InstallComponent(component_action::kFail); }
  RunResult Post(const std::string& content_length, const std::string& content_type,
                 std::vector<InputChunk> body, const std::string& query = "",
                 const std::string& method = "POST") {
    std::vector<std::pair<std::string, std::string>> environment = {
        {"REQUEST_METHOD", method},
        {"CONTENT_TYPE", content_type},
        {"QUERY_STRING", query},
        {"SCRIPT_NAME", "/cgi-bin/ostrel"},
        {"TEMP", sandbox_.TempDirectory()}};
    if (!content_length.empty()) {
      environment.emplace_back("CONTENT_LENGTH", content_length);
    }
    return sandbox_.Run({.environment = environment, .input = std::move(body)});
  }
  RunResult Post(const std::string& body, const std::string& query = "") {
    return Post(std::to_string(body.size()), kUrlEncoded, {{milliseconds(0), body}}, query);
  }
  // The component's source item: where FN and Path ended up.
  std::string Source() const {
    const std::string arguments = sandbox_.Arguments();
    return arguments.substr(0, arguments.find(", dest="));
  }

  ComponentSandbox sandbox_;
};

TEST_F(FormInputTest, UrlEncodedPostBodiesAreParsedBeforeTheQueryString) {
  const struct {
    const char* method;
    const char* content_length;
    const char* content_type;
    const char* body;
    const char* query;
    std::string fn;
    const char* path;
  } cases[] = {
      {"POST", "9", kUrlEncoded, "FN=scan01", "Path=x", "scan01", "x\\"},
      {"POST", "4", kUrlEncoded, "FN=a", "FN=b&Path=p", "a;b", "p\\"},
      {"POST", "4", "APPLICATION/X-WWW-FORM-URLENCODED; charset=UTF-8", "FN=a", "Path=p", "a",
       "p\\"},
      {"post", "7", kUrlEncoded, "FN=body", "FN=query&Path=p", "query", "p\\"},
      {"POST", "7", "multipart/form-data; boundary=x", "FN=body", "Path=p", "", "p\\"},
      // A short body followed by the end of input is taken as it is...
      {"POST", "100", kUrlEncoded, "FN=a&Path=p", "", "a", "p\\"},
      // ...and nothing is read beyond CONTENT_LENGTH.
      {"POST", "4", kUrlEncoded, "FN=abcdef&Path=p", "", "a", "\\"},
      {"POST", "", kUrlEncoded, "FN=a", "FN=q&Path=p", "q", "p\\"},
      // A length up to the limit is taken, however little arrives.
      {"POST", "1048576", kUrlEncoded, "FN=a&Path=p", "", "a", "p\\"},
  };
  for (const auto& c : cases) {
    const RunResult run =
        Post(c.content_length, c.content_type, {{milliseconds(0), c.body}}, c.query, c.method);
    EXPECT_EQ(Source(), "source=" + (c.path + c.fn) + ".tif")
        << c.method << " " << c.content_type << " " << c.body;
    EXPECT_EQ(run.output, ExpectedErrorResponse("/cgi-bin/ostrel", "CGI_Main: FN = " + c.fn + ", " +
                                                                       kConverterFailed));
  }
}

TEST_F(FormInputTest, ABodyArrivingInPiecesIsReadWhole) {
  Post("22", kUrlEncoded, {{milliseconds(0), "FN=scan01&Pa"}, {milliseconds(1000), "th=d:/img/"}});
  EXPECT_EQ(Source(), "source=d:\\img\\scan01.tif");
  // Larger than a pipe holds at once.
  Post("pad=" + std::string(200000, 'x') + "&FN=scan01&Path=p");
  EXPECT_EQ(Source(), "source=p\\scan01.tif");
}

TEST_F(FormInputTest, ABadBodyEndsWithTheDriversPageBeforeAnyConversion) {
  const struct {
    const char* content_length;
    const char* body;
    std::string message;
  } cases[] = {
      {"7", "FN=a%zz", "Type mismatch Error Number =  13"},
      {"5", "FN=a%", "Type mismatch Error Number =  13"},
      {"-1", "FN=a", "Invalid argument: CONTENT_LENGTH is negative Error Number =  5"},
  };
  for (const auto& c : cases) {
    const RunResult run =
        Post(c.content_length, kUrlEncoded, {{milliseconds(0), c.body}}, "Path=p");
    EXPECT_EQ(run.output, ExpectedErrorResponse("/cgi-bin/ostrel", c.message)) << c.body;
    EXPECT_EQ(sandbox_.Arguments(), "(not called)") << c.body;
    EXPECT_TRUE(run.log_lines.empty()) << c.body;
  }
}

TEST_F(FormInputTest, LookupsReportTablesBeyondTheSigned16BitIndex) {
  const auto body = [](int pairs) {
    std::string text;
    for (int i = 0; i < pairs - 2; ++i) {
      text += "x=&";
    }
    return text + "FN=scan01&Path=p";
  };
  const auto page = [](const std::string& message) {
    return ExpectedPageBody("/cgi-bin/ostrel", message, OSTREL_ADMIN_ADDRESS);
  };
  const std::string fn_overflow = page("GetCgiValue: cgiName = FN, Overflow Error Number =  6");
  const std::string path_overflow = page("GetCgiValue: cgiName = Path, Overflow Error Number =  6");

  RunResult run = Post(body(32766));
  EXPECT_EQ(run.output, kExpectedHtmlHeader + page("CGI_Main: FN = scan01, " + kConverterFailed));
  EXPECT_EQ(Source(), "source=p\\scan01.tif");

  // Every slot is searched, then the index overflows: reported, but the
  // values found are used.
  run = Post(body(32767));
  EXPECT_EQ(run.output, kExpectedHtmlHeader + fn_overflow + path_overflow +
                            page("CGI_Main: FN = scan01, " + kConverterFailed));
  EXPECT_EQ(Source(), "source=p\\scan01.tif");

  run = Post(body(32768));
  EXPECT_EQ(run.output, kExpectedHtmlHeader + fn_overflow + path_overflow +
                            page("CGI_Main: FN = , " + kConverterFailed));
  EXPECT_EQ(Source(), "source=\\.tif");
}

}  // namespace
}  // namespace ostrel::testing
