// Runs a built program as a web server would for one CGI request: in a fresh
// directory, with exactly the environment a test gives, chosen standard
// input, and standard output as a pipe, a closed pipe or a regular file.
#ifndef OSTREL_TESTS_SUPPORT_PROCESS_HARNESS_H_
#define OSTREL_TESTS_SUPPORT_PROCESS_HARNESS_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::testing {

enum class OutputKind {
  kPipe,
  kClosedPipe,  // the reader has gone before the program starts
  kFile,
};

struct InputChunk {
  std::chrono::milliseconds delay{0};  // waited before these bytes are written
  std::string bytes;
};

struct RunOptions {
  std::vector<std::string> arguments{};                            // after the program's name
  std::vector<std::pair<std::string, std::string>> environment{};  // nothing is inherited
  std::vector<InputChunk> input{};  // standard input ends after the last chunk
  OutputKind output = OutputKind::kPipe;
  // kFile only: bytes already in the file; the program's position starts
  // right behind them.
  std::string output_file_prefill{};
  std::chrono::milliseconds timeout{20000};
  // When set, `terminate_signal` is sent to the program after this long, as
  // a web server sends SIGTERM when the client goes away.
  std::chrono::milliseconds terminate_after{0};
  int terminate_signal = 15;  // SIGTERM
  // kPipe only: standard output is not read until the program has ended, so
  // that a program writing more than the pipe holds waits in the write.
  bool stall_output = false;
};

struct RunResult {
  std::string output;                  // standard output, or the file's final content
  std::vector<std::string> log_lines;  // standard error, split into lines
  int exit_status = -1;                // -1 when a signal ended the program
  int signal = 0;
  bool timed_out = false;  // the program was killed at the timeout
  pid_t pid = 0;           // the program's process id, its run identifier
  std::chrono::milliseconds elapsed{0};
  long max_rss_kib = 0;  // peak resident memory of the program or a child it waited for
};

// A scratch directory, removed with everything in it on destruction.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return path_; }
  // `path()` + "/" + `name`.
  std::string PathOf(const std::string& name) const;
  // PathOf(name) written the program's way, with "\" for each "/".
  std::string WindowsPathOf(const std::string& name) const;
  void WriteFile(const std::string& name, const std::string& contents, mode_t mode = 0644) const;
  std::string ReadFile(const std::string& name) const;
  bool Exists(const std::string& name) const;
  // Names of the directory's entries, sorted.
  std::vector<std::string> List() const;

 private:
  std::string path_;
};

// A fresh directory holding a copy of the program, where a test puts its
// Varnow.ini and component. A copy, not a symlink: the program finds its
// directory through /proc/self/exe.
class ProgramSandbox : public TemporaryDirectory {
 public:
  explicit ProgramSandbox(const std::string& program_path);

  const std::string& program() const { return program_; }
  // Copies another executable (the converter, say) in beside the program.
  void InstallExecutable(const std::string& source_path, const std::string& name) const;
  RunResult Run(const RunOptions& options) const;

 private:
  std::string program_;
};

// The value of the header `name` in a response's head; empty when absent.
std::string HeaderValue(const std::string& head, const std::string& name);

// The validator lines of a response made from the file at `source`: the
// ETag that `head` gives (its value checked by the tests of validators), the
// file's modification time as Last-Modified and `cache_control`.
std::string ValidatorLines(const std::string& head, const std::string& source,
                           const std::string& cache_control);

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_PROCESS_HARNESS_H_
