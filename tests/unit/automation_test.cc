#include "platform/automation.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/error.h"
#include "tests/support/process_harness.h"
#include "tests/support/process_table.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

constexpr char kComponent[] = "Caskle.ClsCaskle";

class AutomationTest : public ::testing::Test {
 protected:
  // Installs a component whose body is the given shell text.
  AutomationObject Component(const std::string& body) {
    dir_.WriteFile(kComponent, "#!/bin/sh\n" + body + "\n", 0755);
    return AutomationObject(dir_.path(), kComponent);
  }
  std::string Call(const std::string& body, const std::string& argument = "") {
    return Component(body).CallMethod("ConvertImage", argument, {}, std::chrono::seconds(10));
  }

  testing::TemporaryDirectory dir_;
};

TEST_F(AutomationTest, ReturnsStandardOutputLessOneLineEnd) {
  const struct {
    const char* body;
    const char* result;
  } cases[] = {
      {"printf '0\\n'", "0"},
      {"printf '12\\r\\n'", "12"},
      {"printf 'a\\n\\n'", "a\n"},
      {"printf 'no end'", "no end"},
      {"true", ""},
      {"echo ignored >&2; echo 7", "7"},
      // Standard input is /dev/null: reading it ends at once.
      {"cat; echo read", "read"},
      {"[ \"$(cut -d' ' -f5 /proc/$$/stat)\" = \"$$\" ] && echo own group", "own group"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Call(c.body), c.result) << c.body;
  }
}

TEST_F(AutomationTest, PassesMethodAndArgumentAsTheyAreWithoutAShell) {
  const std::string argument = "source=d:\\images\\scan 01.tif, dest=$(touch x) *;";
  EXPECT_EQ(Call("printf '%s|' \"$#\" \"$1\" \"$2\"", argument),
            "2|ConvertImage|" + argument + "|");
  EXPECT_FALSE(dir_.Exists("x"));
}

TEST_F(AutomationTest, InheritsTheHandedDirectoryAsDescriptorThreeAndNoOtherDescriptor) {
  // Numbered from 20, clear of the shell's own descriptors.
  const int leaked = fcntl(open("/dev/null", O_RDONLY), F_DUPFD, 20);  // not close-on-exec
  const int directory =
      fcntl(open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), F_DUPFD_CLOEXEC, 20);
  ASSERT_GE(leaked, 20);
  ASSERT_GE(directory, 20);
  // This process's descriptor 3 becomes the directory as well: the program's
  // directory has that number when nothing else is open.
  const int saved_flags = fcntl(3, F_GETFD);
  const int saved = saved_flags < 0 ? -1 : fcntl(3, F_DUPFD_CLOEXEC, 20);
  ASSERT_EQ(dup3(directory, 3, O_CLOEXEC), 3);
  // No command substitution: its pipe would take a free descriptor 3.
  const std::string body = "for n in 3 " + std::to_string(leaked) + " " +
                           std::to_string(directory) +
                           "; do readlink /proc/$$/fd/$n 2>/dev/null; echo ';'; done";
  const struct {
    int handed;
    std::string descriptors;  // where descriptor 3, the leaked one and the directory's lead
  } cases[] = {
      {-1, ";\n;\n;"},
      {directory, dir_.path() + "\n;\n;\n;"},
      {3, dir_.path() + "\n;\n;\n;"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        Component(body).CallMethod("ConvertImage", "", {}, std::chrono::seconds(10), c.handed),
        c.descriptors)
        << c.handed;
  }
  if (saved >= 0) {
    dup2(saved, 3);
    fcntl(3, F_SETFD, saved_flags);
    close(saved);
  } else {
    close(3);
  }
  close(leaked);
  close(directory);
}

TEST_F(AutomationTest, ReadsBothStreamsSoNeitherCanFillUp) {
  const std::string result = Call(
      "head -c 300000 /dev/zero | tr '\\0' e >&2; head -c 300000 /dev/zero | tr '\\0' o; exit 0");
  EXPECT_EQ(result, std::string(300000, 'o'));
}

TEST_F(AutomationTest, FailureRaisesTheExitStatusAndTheLastErrorLine) {
  const struct {
    const char* body;
    int32_t number;
    const char* description;
  } cases[] = {
      {"echo first >&2; printf 'last\\tline\\n\\n' >&2; exit 3", 100 + 3, "last\\tline"},
      {"echo 0; printf 'cannot open source\\r\\n' >&2; exit 200", 100 + 200, "cannot open source"},
      {"printf 'no line end' >&2; exit 1", 100 + 1, "no line end"},
      {"exit 4", 100 + 4, "converter failed with exit status 4"},
      {"echo >&2; exit 5", 100 + 5, "converter failed with exit status 5"},
      {"kill -TERM $$", 400 + 15, "converter ended by signal 15 (Terminated)"},
  };
  for (const auto& c : cases) {
    const Error error = testing::RaisedError([&] { Call(c.body); });
    EXPECT_EQ(error.number(), c.number) << c.body;
    EXPECT_EQ(error.description(), c.description) << c.body;
  }
}

TEST_F(AutomationTest, PastTheTimeLimitTheWholeProcessGroupIsStoppedAndReaped) {
  const char* bodies[] = {
      "echo $$ > \"$(dirname \"$0\")/group\"; sleep 60 & sleep 60",
      // Ignoring SIGTERM only postpones SIGKILL by the grace second.
      "echo $$ > \"$(dirname \"$0\")/group\"; trap '' TERM; sleep 60 & sleep 60",
      // Closing its output does not end the time limit.
      "echo $$ > \"$(dirname \"$0\")/group\"; exec >&- 2>&-; sleep 20",
  };
  for (const char* body : bodies) {
    const auto start = std::chrono::steady_clock::now();
    const Error error = testing::RaisedError(
        [&] { Component(body).CallMethod("ConvertImage", "", {}, std::chrono::seconds(1)); });
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(error.number(), 1000 + ETIMEDOUT) << body;
    EXPECT_EQ(error.description(), "converter " + dir_.PathOf(kComponent) +
                                       " ran past its time limit of 1 s and was stopped");
    // Stopped at the limit: the component alone would sleep for 60 s.
    EXPECT_LT(elapsed, std::chrono::seconds(30)) << body;
    const pid_t group = std::stoi(dir_.ReadFile("group"));
    EXPECT_EQ(testing::LiveProcessesInGroup(group), std::vector<pid_t>{}) << body;
    // Reaped: no child of this process is left to wait for.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  }
}

TEST_F(AutomationTest, ANulByteIsRefusedBeforeAnyProcessStarts) {
  const AutomationObject component = Component("touch \"$(dirname \"$0\")/ran\"");
  const std::string nul(1, '\0');
  const struct {
    std::string method;
    std::string argument;
    std::vector<std::string> environment;
  } cases[] = {
      {"ConvertImage", "source=a.tif" + nul + ", dest=b.gif", {}},
      {"Convert" + nul + "Image", "", {}},
      {"ConvertImage", "", {"PATH=/bin" + nul + ":/tmp"}},
  };
  for (const auto& c : cases) {
    const Error error = testing::RaisedError([&] {
      component.CallMethod(c.method, c.argument, c.environment, std::chrono::seconds(5));
    });
    EXPECT_EQ(error.description(), "Invalid argument: run " + dir_.PathOf(kComponent) +
                                       ": an argument or environment entry holds a NUL byte");
    EXPECT_FALSE(dir_.Exists("ran"));
  }
}

TEST_F(AutomationTest, CreationNeedsAnExecutableFile) {
  const auto creation_error = [&] {
    return testing::RaisedError([&] { AutomationObject(dir_.path(), kComponent); }).code();
  };
  EXPECT_EQ(creation_error(), ENOENT);
  dir_.WriteFile(kComponent, "#!/bin/sh\n", 0644);
  EXPECT_EQ(creation_error(), EACCES);
  ASSERT_EQ(unlink(dir_.PathOf(kComponent).c_str()), 0);
  ASSERT_EQ(mkdir(dir_.PathOf(kComponent).c_str(), 0755), 0);
  EXPECT_EQ(creation_error(), EACCES);
}

}  // namespace
}  // namespace ostrel
