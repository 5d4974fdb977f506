#include "platform/process_limits.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

using testing::TemporaryDirectory;

// Runs `check` in a child process and returns the text it returns, which
// goes out through the child's standard error: confining closes every
// descriptor above 2.
template <typename Check>
std::string InChild(Check&& check) {
  int ends[2];
  EXPECT_EQ(pipe(ends), 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(ends[1], STDERR_FILENO);
    const std::string report = check();
    (void)!write(STDERR_FILENO, report.data(), report.size());
    _exit(0);
  }
  close(ends[1]);
  std::string report;
  char buffer[256];
  for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) {
    report.append(buffer, static_cast<size_t>(got));
  }
  close(ends[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
  return report;
}

std::string Limit(int resource) {
  rlimit limit{};
  getrlimit(resource, &limit);
  return std::to_string(limit.rlim_cur) + "/" + std::to_string(limit.rlim_max);
}

TEST(ProcessLimitsTest, TheProcessIsConfinedBeforeItReadsAnything) {
  TemporaryDirectory directory;
  const std::string report = InChild([&] {
    const int inherited = open("/dev/null", O_RDONLY);
    ProcessLimits limits{.cpu_seconds = 5, .file_size_bytes = 1000, .open_files = 16};
#ifndef OSTREL_SANITIZE
    limits.address_space_bytes = uint64_t{256} << 20;
#endif
    ConfineProcess(limits);
    std::string result;
    result += "inherited=" + std::string(fcntl(inherited, F_GETFD) < 0 ? "closed" : "open");
    result += " no_new_privs=" + std::to_string(prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0));
    int death_signal = 0;
    prctl(PR_GET_PDEATHSIG, &death_signal);
    result += " death_signal=" + std::to_string(death_signal);
    result += " core=" + Limit(RLIMIT_CORE) + " cpu=" + Limit(RLIMIT_CPU) +
              " fsize=" + Limit(RLIMIT_FSIZE) + " nofile=" + Limit(RLIMIT_NOFILE);
    const int file = open(directory.PathOf("big").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string bytes(2000, 'x');
    const ssize_t first = write(file, bytes.data(), bytes.size());
    const ssize_t second = write(file, bytes.data(), bytes.size());
    result += " writes=" + std::to_string(first) + "," + std::to_string(second) +
              (errno == EFBIG ? " EFBIG" : " ?");
#ifndef OSTREL_SANITIZE
    void* block = mmap(nullptr, size_t{512} << 20, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    result += block == MAP_FAILED ? " 512MiB=refused" : " 512MiB=mapped";
#else
    result += " 512MiB=refused";
#endif
    return result;
  });
  EXPECT_EQ(report,
            "inherited=closed no_new_privs=1 death_signal=15 core=0/0 cpu=5/7 fsize=1000/1000 "
            "nofile=16/16 writes=1000,-1 EFBIG 512MiB=refused");
}

TEST(ProcessLimitsTest, OnlyADirectoryAtDescriptorThreeIsKept) {
  TemporaryDirectory directory;
  const struct {
    std::string path;
    int flags;
    const char* kept;
  } cases[] = {
      {directory.path(), O_RDONLY | O_DIRECTORY, "kept"},
      {"/dev/null", O_RDONLY, "closed"},
  };
  for (const auto& c : cases) {
    const std::string report = InChild([&] {
      dup2(open(c.path.c_str(), c.flags), 3);
      const int above = open(directory.path().c_str(), O_RDONLY | O_DIRECTORY);
      ConfineProcess({});
      return std::string(fcntl(3, F_GETFD) < 0 ? "closed" : "kept") +
             (fcntl(above, F_GETFD) < 0 ? "" : " and another");
    });
    EXPECT_EQ(report, c.kept) << c.path;
  }
}

TEST(ProcessLimitsTest, AConfinedProcessEndsWithItsParent) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  const pid_t parent = fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    const pid_t child = fork();
    if (child == 0) {
      ConfineProcess({});
      for (;;) {
        pause();
      }
    }
    (void)!write(ends[1], &child, sizeof child);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    _exit(0);
  }
  close(ends[1]);
  pid_t grandchild = 0;
  ASSERT_EQ(read(ends[0], &grandchild, sizeof grandchild), static_cast<ssize_t>(sizeof grandchild));
  close(ends[0]);
  waitpid(parent, nullptr, 0);
  bool ended = false;
  for (int attempt = 0; attempt < 300 && !ended; ++attempt) {
    // Gone, or a zombie waiting for whoever adopted it.
    std::string state;
    FILE* stat = fopen(("/proc/" + std::to_string(grandchild) + "/stat").c_str(), "r");
    if (stat != nullptr) {
      char buffer[512] = "";
      (void)!fgets(buffer, sizeof buffer, stat);
      fclose(stat);
      state = buffer;
    }
    const size_t close_paren = state.rfind(')');
    ended = close_paren == std::string::npos || state.compare(close_paren + 2, 1, "Z") == 0;
    if (!ended) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  EXPECT_TRUE(ended);
  if (!ended) {
    kill(grandchild, SIGKILL);
  }
}

}  // namespace
}  // namespace ostrel
