// The program as a web server runs it: exact response bytes and log lines.
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "tests/support/expected_page.h"
#include "tests/support/process_harness.h"

namespace ostrel::testing {
namespace {

class RequestSpineTest : public ::testing::Test {
 protected:
  RunResult Run(RunOptions options) { return sandbox_.Run(options); }
  ProgramSandbox sandbox_{OSTREL_PROGRAM};
};

TEST_F(RequestSpineTest, ContentLengthBeyond32BitsEndsWithTheDriversPage) {
  for (const char* length : {"99999999999", "2147483648", "-2147483649", "1e10"}) {
    const RunResult result =
        Run({.environment = {{"CONTENT_LENGTH", length}, {"SCRIPT_NAME", "/cgi-bin/ostrel"}}});
    EXPECT_EQ(result.output, ExpectedErrorResponse("/cgi-bin/ostrel", "Overflow Error Number =  6"))
        << length;
    EXPECT_TRUE(result.log_lines.empty()) << length;
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST_F(RequestSpineTest, AnOrdinaryRequestReachesTheConversionStage) {
  // Without a converter beside the program, the conversion handler's page
  // shows that the first two stages passed; a GET reads no body, however
  // long CONTENT_LENGTH says it is. The temporary directory, opened before
  // the converter is looked for, is there.
  sandbox_.WriteFile("Varnow.ini", "[Converter]\nTempDir=" + sandbox_.path() + "/\n");
  for (const auto& [options, fn] :
       {std::pair{RunOptions{}, ""},
        std::pair{RunOptions{.environment = {{"REQUEST_METHOD", "GET"},
                                             {"QUERY_STRING", "FN=a&Path=b"},
                                             {"CONTENT_LENGTH", "2147483647"}}},
                  "a"},
        // Under CGI the command line is ignored, --version included: a
        // server passes the query "?--version" as an argument.
        std::pair{RunOptions{.arguments = {"--version"},
        .environment = {{"GATEWAY_INTERFACE", "CGI/1.1"}, {"QUERY_STRING", "--version"}}},
                  ""}}) {
    const RunResult result = Run(options);
    EXPECT_EQ(result.output,
              ExpectedErrorResponse("", std::string("CGI_Main: FN = ") + fn + ", create object " +
                                            sandbox_.PathOf("Caskle.ClsCaskle") +
                                            ": No such file or directory Error Number =  1002"));
    EXPECT_TRUE(result.log_lines.empty());
    EXPECT_EQ(result.exit_status, 0);
  }
}

TEST_F(RequestSpineTest, OutsideCgiBothProgramsPrintTheVersion) {
  const RunResult program = Run({.arguments = {"--version"}});
  EXPECT_EQ(program.output, "ostrel " OSTREL_VERSION "\n");
  EXPECT_EQ(program.exit_status, 0);
  const RunResult converter = ProgramSandbox(OSTREL_CONVERTER).Run({.arguments = {"--version"}});
  EXPECT_EQ(converter.output, "Caskle.ClsCaskle " OSTREL_VERSION "\n");
  EXPECT_EQ(converter.exit_status, 0);
}

TEST_F(RequestSpineTest, MarkupInTheScriptNameShowsAsText) {
  const RunResult result =
      Run({.environment = {{"CONTENT_LENGTH", "99999999999"}, {"SCRIPT_NAME", "/cgi-bin/<b>\"&"}}});
  EXPECT_EQ(result.output,
            ExpectedErrorResponse("/cgi-bin/&lt;b&gt;&quot;&amp;", "Overflow Error Number =  6"));
}

TEST_F(RequestSpineTest, OnAFileThePageReplacesEarlierOutput) {
  const RunResult result = Run({.environment = {{"CONTENT_LENGTH", "99999999999"}},
                                .output = OutputKind::kFile,
                                .output_file_prefill = std::string(3000, 'x')});
  EXPECT_EQ(result.output, ExpectedErrorResponse("", "Overflow Error Number =  6"));
}

TEST_F(RequestSpineTest, AClientThatHasGoneDoesNotKillTheProgram) {
  const RunResult result =
      Run({.environment = {{"CONTENT_LENGTH", "99999999999"}}, .output = OutputKind::kClosedPipe});
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_TRUE(result.log_lines.empty());
}

}  // namespace
}  // namespace ostrel::testing
