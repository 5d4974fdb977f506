#include "tests/support/process_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "helpers/http_date.h"

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void MakePipe(int ends[2]) {
  if (pipe2(ends, O_CLOEXEC) != 0) {
    Fail("pipe2");
  }
}

void CloseIfOpen(int& descriptor) {
  if (descriptor >= 0) {
    close(descriptor);
    descriptor = -1;
  }
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

// Reading and writing the child's pipes from one poll loop, so that a test
// can feed standard input in timed chunks while it collects both outputs.
struct PipeLoop {
  int input_write = -1;
  int output_read = -1;
  int log_read = -1;
  std::string output;
  std::string log;

  void Drain(int& descriptor, std::string& sink) {
    char buffer[65536];
    const ssize_t got = read(descriptor, buffer, sizeof buffer);
    if (got > 0) {
      sink.append(buffer, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      CloseIfOpen(descriptor);
    }
  }
};

}  // namespace

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (fs::temp_directory_path() / "ostrel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    Fail("mkdtemp");
  }
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TemporaryDirectory::PathOf(const std::string& name) const { return path_ + "/" + name; }

std::string TemporaryDirectory::WindowsPathOf(const std::string& name) const {
  std::string path = PathOf(name);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void TemporaryDirectory::WriteFile(const std::string& name, const std::string& contents,
                                   mode_t mode) const {
  const std::string path = PathOf(name);
  {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << contents;
    if (!file) {
      throw std::runtime_error("cannot write " + path);
    }
  }
  if (chmod(path.c_str(), mode) != 0) {
    Fail("chmod " + path);
  }
}

std::string TemporaryDirectory::ReadFile(const std::string& name) const {
  std::ifstream file(PathOf(name), std::ios::binary);
  if (!file) {
    throw std::runtime_error("cannot read " + PathOf(name));
  }
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool TemporaryDirectory::Exists(const std::string& name) const {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(PathOf(name), ignored));
}

std::vector<std::string> TemporaryDirectory::List() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ProgramSandbox::ProgramSandbox(const std::string& program_path) {
  program_ = PathOf(fs::path(program_path).filename().string());
  InstallExecutable(program_path, fs::path(program_path).filename().string());
}

void ProgramSandbox::InstallExecutable(const std::string& source_path,
                                       const std::string& name) const {
  fs::copy_file(source_path, PathOf(name), fs::copy_options::overwrite_existing);
  fs::permissions(PathOf(name), fs::perms(0755));
}

RunResult ProgramSandbox::Run(const RunOptions& options) const {
  // The harness writes standard input itself; a program that ends without
  // reading it must not take the test down.
  (void)signal(SIGPIPE, SIG_IGN);

  int input[2];
  int log[2];
  MakePipe(input);
  MakePipe(log);
  int output_parent = -1;
  int output_child = -1;
  const std::string output_file = PathOf(".stdout");
  if (options.output == OutputKind::kFile) {
    output_child = open(output_file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (output_child < 0) {
      Fail("open " + output_file);
    }
    const std::string& prefill = options.output_file_prefill;
    if (write(output_child, prefill.data(), prefill.size()) !=
        static_cast<ssize_t>(prefill.size())) {
      Fail("write " + output_file);
    }
  } else {
    int output[2];
    MakePipe(output);
    output_parent = output[0];
    output_child = output[1];
    if (options.output == OutputKind::kClosedPipe) {
      CloseIfOpen(output_parent);
    }
  }

  std::vector<std::string> environment;
  for (const auto& [name, value] : options.environment) {
    environment.push_back(name + "=" + value);
  }
  std::vector<char*> envp;
  for (std::string& entry : environment) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  std::vector<std::string> arguments = options.arguments;
  arguments.insert(arguments.begin(), program_);
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);

  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child < 0) {
    Fail("fork");
  }
  if (child == 0) {
    // Only async-signal-safe calls from here to exec.
    (void)signal(SIGPIPE, SIG_DFL);
    if (dup2(input[0], 0) < 0 || dup2(output_child, 1) < 0 || dup2(log[1], 2) < 0 ||
        chdir(path().c_str()) != 0) {
      _exit(127);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(input[0]);
  close(output_child);
  close(log[1]);

  PipeLoop loop;
  loop.input_write = input[1];
  loop.output_read = output_parent;
  loop.log_read = log[0];
  size_t next_chunk = 0;
  Clock::time_point next_chunk_at =
      start + (options.input.empty() ? std::chrono::milliseconds(0) : options.input[0].delay);
  if (options.input.empty()) {
    CloseIfOpen(loop.input_write);
  }

  RunResult result;
  result.pid = child;
  const Clock::time_point deadline = start + options.timeout;
  int status = 0;
  bool reaped = false;
  bool terminated = false;
  rusage usage{};
  while (!reaped || loop.output_read >= 0 || loop.log_read >= 0) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline && !result.timed_out) {
      result.timed_out = true;
      kill(child, SIGKILL);
    }
    if (options.terminate_after.count() > 0 && !terminated && !reaped &&
        now >= start + options.terminate_after) {
      terminated = true;
      kill(child, options.terminate_signal);
    }
    if (loop.input_write >= 0 && now >= next_chunk_at) {
      const std::string& bytes = options.input[next_chunk].bytes;
      // A reader that has gone is the program's business, not a harness failure.
      const ssize_t ignored = write(loop.input_write, bytes.data(), bytes.size());
      (void)ignored;
      if (++next_chunk == options.input.size()) {
        CloseIfOpen(loop.input_write);
      } else {
        next_chunk_at = now + options.input[next_chunk].delay;
      }
    }
    if (!reaped) {
      const pid_t done = wait4(child, &status, WNOHANG, &usage);
      reaped = done == child;
    }
    const bool output_stalled = options.stall_output && !reaped;
    pollfd fds[2] = {{output_stalled ? -1 : loop.output_read, POLLIN, 0},
                     {loop.log_read, POLLIN, 0}};
    int wait_ms = 20;
    if (loop.input_write >= 0) {
      const auto until_chunk =
          std::chrono::duration_cast<std::chrono::milliseconds>(next_chunk_at - Clock::now());
      wait_ms = static_cast<int>(std::clamp<long>(until_chunk.count(), 0, 20));
    }
    if (poll(fds, 2, wait_ms) > 0) {
      if (fds[0].revents != 0) {
        loop.Drain(loop.output_read, loop.output);
      }
      if (fds[1].revents != 0) {
        loop.Drain(loop.log_read, loop.log);
      }
    }
    if (reaped && result.timed_out) {
      break;  // a killed program's grandchildren may hold the pipes open
    }
  }
  CloseIfOpen(loop.input_write);
  CloseIfOpen(loop.output_read);
  CloseIfOpen(loop.log_read);
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  result.max_rss_kib = usage.ru_maxrss;

  if (WIFEXITED(status)) {
    result.exit_status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  result.output = options.output == OutputKind::kFile ? ReadFile(".stdout") : loop.output;
  if (options.output == OutputKind::kFile) {
    std::error_code ignored;
    fs::remove(output_file, ignored);
  }
  result.log_lines = SplitLines(loop.log);
  return result;
}

std::string HeaderValue(const std::string& head, const std::string& name) {
  const std::string start = "\r\n" + name + ": ";
  const size_t found = head.find(start);
  if (found == std::string::npos) {
    return "";
  }
  const size_t value = found + start.size();
  return head.substr(value, head.find("\r\n", value) - value);
}

std::string ValidatorLines(const std::string& head, const std::string& source,
                           const std::string& cache_control) {
  struct stat status {};
  if (stat(source.c_str(), &status) != 0) {
    throw std::runtime_error("cannot stat " + source);
  }
  return "ETag: " + HeaderValue(head, "ETag") +
         "\r\nLast-Modified: " + FormatHttpDate(status.st_mtim.tv_sec) +
         "\r\nCache-Control: " + cache_control + "\r\n";
}

}  // namespace ostrel::testing
