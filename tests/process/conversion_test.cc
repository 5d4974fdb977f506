// A request for a TIFF file answered with the GIF that a fake component
// writes: exact response bytes, the component's parameter text, the log and
// what is left in the temporary directory.
#include <chrono>
#include <filesystem>
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
using Environment = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

class ConversionTest : public ::testing::Test {
 protected:
  RunResult Request(const std::string& query, Environment environment = {},
                    OutputKind output = OutputKind::kPipe) {
    environment.emplace_back("REQUEST_METHOD", "GET");
    environment.emplace_back("QUERY_STRING", query);
    environment.emplace_back("SCRIPT_NAME", "/cgi-bin/ostrel");
    return sandbox_.Run({.environment = environment, .output = output});
  }
  Environment WithTemp() const { return {{"TEMP", sandbox_.TempDirectory()}}; }
  // The temporary directory as the component finds it: through the
  // descriptor it is handed.
  static constexpr char kHanded[] = "/proc/self/fd/3/";
  // The GIF file's name for `fn` in `directory` during `run`.
  static std::string TempFilename(const std::string& directory, const std::string& fn,
                                  const RunResult& run) {
    return directory + "G" + fn + "_" + std::to_string(run.pid) + ".gif";
  }
  static std::string Page(const std::string& message) {
    return ExpectedErrorResponse("/cgi-bin/ostrel", message);
  }

  ComponentSandbox sandbox_;
};

TEST_F(ConversionTest, TheExampleRequestIsAnsweredWithTheGifWhichIsThenDeleted) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  const RunResult run = Request("FN=scan01&Path=d:/images/", WithTemp());
  EXPECT_EQ(run.output, kGifHeader + sandbox_.image());
  EXPECT_EQ(sandbox_.Arguments(),
            "source=d:\\images\\scan01.tif, dest=" + TempFilename(kHanded, "scan01", run));
  EXPECT_EQ(sandbox_.HandedDirectory(), sandbox_.TempDirectory());
  EXPECT_EQ(run.log_lines, Lines{"ostrel: message: 0"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(sandbox_.TempFiles(), Lines{});
}

TEST_F(ConversionTest, TemporaryDirectoryComesFromTheConfigurationThenTempThenTmp) {
  sandbox_.InstallComponent(component_action::kFail);
  // Relative names lie in the program's working directory, the sandbox.
  for (const char* directory : {"ini", "ini/dir", "c:", "c:/ini", "c:/temp", "t", "m"}) {
    std::filesystem::create_directory(sandbox_.PathOf(directory));
  }
  const struct {
    const char* ini;
    Environment environment;
    const char* directory;  // empty: none to open
  } cases[] = {
      {"[Converter]\nTempDir=ini/dir\n", {{"TEMP", "t"}, {"TMP", "m"}}, "ini/dir"},
      {"[converter]\ntempdir = c:\\ini\\ \n", {{"TEMP", "t"}}, "c:/ini"},
      {"[Converter]\nTempDir=\n", {{"TEMP", "t"}, {"TMP", "m"}}, "t"},
      {"", {{"TEMP", "c:\\temp\\"}, {"TMP", "m"}}, "c:/temp"},
      {"", {{"TMP", "m"}}, "m"},
      {"", {{"TEMP", ""}, {"TMP", "m"}}, "m"},
      // "\TEMP\" is /TEMP.
      {"", {}, ""},
  };
  for (const auto& c : cases) {
    sandbox_.WriteFile("Varnow.ini", c.ini);
    std::filesystem::remove(sandbox_.PathOf("directory"));
    const RunResult run = Request("FN=f&Path=p", c.environment);
    if (*c.directory == '\0') {
      EXPECT_EQ(run.output, Page("CGI_Main: FN = f, open temporary directory /TEMP: No such file "
                                 "or directory Error Number =  1002"));
      EXPECT_EQ(sandbox_.HandedDirectory(), "(not called)");
      continue;
    }
    EXPECT_EQ(sandbox_.Arguments(), "source=p\\f.tif, dest=" + TempFilename(kHanded, "f", run))
        << c.ini;
    EXPECT_EQ(sandbox_.HandedDirectory(), sandbox_.PathOf(c.directory)) << c.ini;
  }
}

TEST_F(ConversionTest, ExtraParametersThenViewParametersFollowTheDestItem) {
  sandbox_.InstallComponent(component_action::kFail);
  sandbox_.WriteFile("Varnow.ini", "[Converter]\nExtraParamters=colors=16, page=1\n");
  RunResult run = Request("FN=scan01", WithTemp());
  // Without Path the source lies in "\".
  EXPECT_EQ(sandbox_.Arguments(), "source=\\scan01.tif, dest=" +
                                      TempFilename(kHanded, "scan01", run) + ", colors=16, page=1");
  run = Request("rotate=90&Width=&FN=scan01&Page=2&Width=800", WithTemp());
  EXPECT_EQ(sandbox_.Arguments(),
            "source=\\scan01.tif, dest=" + TempFilename(kHanded, "scan01", run) +
                ", colors=16, page=1, page=2, width=800, rotate=90");
}

TEST_F(ConversionTest, InfoIsAnsweredWithTheDescriptionTheConverterWrites) {
  const std::string description = "{\"pages\":3,\"page\":[{\"width\":1728}]}";
  sandbox_.InstallComponent(
      "printf '%s' \"$1\" > \"$here/method\"\n"
      "if [ \"$1\" = DescribeImage ]; then printf '%s' '" +
      description +
      "' > \"$dest\"; else cp \"$here/image.gif\" \"$dest\"; fi\n"
      "echo 0");
  const struct {
    const char* query;
    const char* method;
    const char* extension;
    std::string response;
  } cases[] = {
      {"FN=scan01&Path=d:/images/&Info=1", "DescribeImage", ".json",
       "HTTP/1.0 200 OK\r\nContent-Type: application/json\r\nCache-Control: no-cache\r\n\r\n" +
           description},
      {"FN=scan01&Path=d:/images/&info=", "ConvertImage", ".gif", kGifHeader + sandbox_.image()},
  };
  for (const auto& c : cases) {
    const RunResult run = Request(c.query, WithTemp());
    EXPECT_EQ(run.output, c.response) << c.query;
    EXPECT_EQ(sandbox_.ReadFile("method"), c.method);
    EXPECT_EQ(sandbox_.Arguments(), "source=d:\\images\\scan01.tif, dest=" + std::string(kHanded) +
                                        "Gscan01_" + std::to_string(run.pid) + c.extension);
    EXPECT_EQ(run.log_lines, Lines{"ostrel: message: 0"});
    EXPECT_EQ(sandbox_.TempFiles(), Lines{});
  }
}

TEST_F(ConversionTest, ConverterFailuresAreReportedOnTheErrorPage) {
  const struct {
    const char* action;  // null: no component at all
    std::string message;
  } cases[] = {
      {nullptr, "CGI_Main: FN = scan01, create object " + sandbox_.PathOf(kComponentName) +
                    ": No such file or directory Error Number =  1002"},
      {component_action::kFail,
       "CGI_Main: FN = scan01, cannot open source d:/images/scan01.tif: No such file "
       "Error Number =  103"},
      {component_action::kAnswerNoNumber,
       "CGI_Main: FN = scan01, Type mismatch Error Number =  13"},
  };
  for (const auto& c : cases) {
    if (c.action != nullptr) {
      sandbox_.InstallComponent(c.action);
    }
    const RunResult run = Request("FN=scan01&Path=d:/images/", WithTemp());
    EXPECT_EQ(run.output, Page(c.message)) << c.message;
    EXPECT_EQ(run.log_lines, Lines{}) << c.message;
  }
}

TEST_F(ConversionTest, UnsafeParametersAreRefusedBeforeTheConverterIsCalled) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  const std::string in_fn = "CGI_Main: FN = ";
  const struct {
    const char* query;
    std::string message;
  } cases[] = {
      {"FN=../x&Path=/", in_fn + "../x, Invalid argument: FN must not contain &quot;/&quot;"},
      {"FN=..%5Cx", in_fn + "..\\x, Invalid argument: FN must not contain &quot;\\&quot;"},
      {"FN=*", in_fn + "*, Invalid argument: FN must not contain &quot;*&quot;"},
      {"FN=scan0%3F", in_fn + "scan0?, Invalid argument: FN must not contain &quot;?&quot;"},
      {"FN=a%00b",
       in_fn + std::string("a\0b", 3) + ", Invalid argument: FN must not contain a NUL byte"},
      {"FN=a,+dest%3D/tmp/x", in_fn + "a, dest=/tmp/x, Invalid argument: FN must not contain "
                                      "&quot;, &quot;"},
      {"FN=a&Path=/srv,+dest=/tmp/x",
       in_fn + "a, Invalid argument: Path must not contain &quot;, &quot;"},
      {"FN=a&Path=/srv%00", in_fn + "a, Invalid argument: Path must not contain a NUL byte"},
      {"FN=a&Width=abc", in_fn + "a, Invalid argument: Width must be a number of pixels from 1 to "
                                 "65535"},
      {"FN=a&Info=1&Page=0", in_fn + "a, Invalid argument: Page must be a page number from 1 to "
                                     "1000000"},
      {"FN=a&rotate=%2B90", in_fn + "a, Invalid argument: Rotate must be 0, 90, 180 or 270"},
  };
  for (const auto& c : cases) {
    const RunResult run = Request(c.query, WithTemp());
    EXPECT_EQ(run.output, Page(c.message + " Error Number =  5")) << c.query;
    EXPECT_EQ(sandbox_.Arguments(), "(not called)") << c.query;
  }
  // Any directory, with a comma not followed by a blank, stays allowed.
  const RunResult run = Request("FN=a,b;c d&Path=/etc/x,y", WithTemp());
  EXPECT_EQ(sandbox_.Arguments(),
            "source=\\etc\\x,y\\a,b;c d.tif, dest=" + TempFilename(kHanded, "a,b;c d", run));
}

TEST_F(ConversionTest, ALinkPlantedAtTheGifsNameIsNeverFollowed) {
  sandbox_.WriteFile("secret", "not for clients");
  sandbox_.InstallComponent("ln -s \"$here/secret\" \"$dest\"; echo 0");
  const RunResult run = Request("FN=scan01&Path=d:/images/", WithTemp());
  // The program names the GIF through its own descriptor of the directory.
  const size_t named = run.output.find("open /proc/self/fd/");
  ASSERT_NE(named, std::string::npos) << run.output;
  const std::string gif = run.output.substr(named + 5, run.output.find(':', named) - named - 5);
  EXPECT_TRUE(gif.ends_with("/Gscan01_" + std::to_string(run.pid) + ".gif")) << gif;
  // The GIF's header lines go out before the file is opened; on a pipe the
  // page follows them.
  EXPECT_EQ(run.output, kGifHeader + Page("CGI_Main: FN = scan01, open " + gif +
                                          ": a symbolic link, refused Error Number =  1040"));
  EXPECT_EQ(sandbox_.TempFiles(), Lines{});
  EXPECT_EQ(sandbox_.ReadFile("secret"), "not for clients");
}

TEST_F(ConversionTest, ALateFileIsSentAtTheProbeAfterAboutThreeSeconds) {
  sandbox_.InstallComponent(component_action::kWriteGifLate);
  const RunResult run = Request("FN=scan01&Path=d:/images/", WithTemp());
  EXPECT_EQ(run.output, kGifHeader + sandbox_.image());
  // Sent at a probe after the file appeared, not when the five seconds end.
  EXPECT_GE(run.elapsed, milliseconds(2500));
  EXPECT_LT(run.elapsed, milliseconds(5000));
  EXPECT_EQ(sandbox_.TempFiles(), Lines{});
}

TEST_F(ConversionTest, AFileThatNeverAppearsGivesAnEmptyResponseAfterAboutFiveSeconds) {
  sandbox_.InstallComponent(component_action::kNeverWrite);
  const RunResult run = Request("FN=scan01&Path=d:/images/", WithTemp());
  EXPECT_EQ(run.output, "");
  EXPECT_GE(run.elapsed, milliseconds(5000));
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.log_lines, Lines{"ostrel: message: 0"});
  EXPECT_EQ(run.exit_status, 0);
}

TEST_F(ConversionTest, AClientThatHasGoneDoesNotKillTheProgram) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  const RunResult run = Request("FN=scan01&Path=d:/images/", WithTemp(), OutputKind::kClosedPipe);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.log_lines, Lines{"ostrel: message: 0"});
  EXPECT_EQ(sandbox_.TempFiles(), Lines{});
}

}  // namespace
}  // namespace ostrel::testing
