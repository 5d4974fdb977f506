#include "platform/termination_cleanup.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/process_harness.h"
#include "tests/support/process_table.h"

extern char** environ;

namespace ostrel {
namespace {

using testing::LiveProcessesInGroup;
using testing::TemporaryDirectory;

// Runs `script` under /bin/sh in a process group of its own, no signal
// blocked, with `argument` as its $0.
pid_t SpawnGroup(const std::string& script, std::string argument = "sh") {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t no_signals;
  sigemptyset(&no_signals);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  std::string shell = "/bin/sh";
  std::string option = "-c";
  std::string text = script;
  char* argv[] = {shell.data(), option.data(), text.data(), argument.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

bool WaitForFile(const TemporaryDirectory& directory, const std::string& name) {
  for (int attempt = 0; attempt < 500 && !directory.Exists(name); ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return directory.Exists(name);
}

TEST(TerminationCleanupTest, EachSignalRemovesRecordedFilesStopsTheChildAndEndsTheProcess) {
  for (const int signal_number : {SIGTERM, SIGHUP, SIGINT, SIGXCPU}) {
    TemporaryDirectory directory;
    ASSERT_EQ(mkdir(directory.PathOf("private").c_str(), 0700), 0);
    for (const char* name : {"recorded", "forgotten", "windows-style", "private/inner"}) {
      directory.WriteFile(name, "x");
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      InstallTerminationCleanup();
      const CleanupFile recorded(directory.PathOf("recorded"));
      { const CleanupFile forgotten(directory.PathOf("forgotten")); }
      const CleanupFile windows_style(directory.WindowsPathOf("windows-style"));
      // Recorded before the file in it, removed after it.
      const CleanupFile private_directory(directory.PathOf("private"),
                                          CleanupEntry::kEmptyDirectory);
      const CleanupFile inner(directory.PathOf("private/inner"));
      SpawnRecordedChild(
          [&] { return SpawnGroup("echo $$ > " + directory.PathOf("group") + "; exec sleep 60"); });
      for (;;) {
        pause();
      }
    }
    ASSERT_TRUE(WaitForFile(directory, "group"));
    const pid_t group = std::stoi(directory.ReadFile("group"));
    ASSERT_EQ(kill(child, signal_number), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
    EXPECT_EQ(directory.List(), (std::vector<std::string>{"forgotten", "group"})) << signal_number;
    EXPECT_EQ(LiveProcessesInGroup(group), std::vector<pid_t>{}) << signal_number;
  }
}

TEST(TerminationCleanupTest, StoppingAGroupEndsItWithSigkillOnlyWhenItIgnoresSigterm) {
  const struct {
    const char* script;
    int signal_number;
  } cases[] = {
      {"sleep 60 & : > \"$0\"; exec sleep 60", SIGTERM},
      {"trap '' TERM; sleep 60 & : > \"$0\"; sleep 60", SIGKILL},
  };
  for (const auto& c : cases) {
    TemporaryDirectory directory;
    // The script says when its trap is set and its group complete.
    const pid_t leader = SpawnGroup(c.script, directory.PathOf("ready"));
    ASSERT_GT(leader, 0);
    ASSERT_TRUE(WaitForFile(directory, "ready")) << c.script;
    const auto start = std::chrono::steady_clock::now();
    const int status = StopProcessGroup(leader, 300);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number) << c.script;
    // Ended by the stop, not by the scripts' 60 s sleeps.
    EXPECT_LT(elapsed, std::chrono::seconds(30)) << c.script;
    EXPECT_EQ(LiveProcessesInGroup(leader), std::vector<pid_t>{}) << c.script;
  }
}

}  // namespace
}  // namespace ostrel
