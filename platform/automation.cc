#include "platform/automation.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/application_log.h"
#include "platform/descriptor.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/termination_cleanup.h"
#include "platform/timing.h"

namespace ostrel {
namespace {

struct Pipe {
  Descriptor read_end;
  Descriptor write_end;
};

// Close-on-exec: the child gets only the copies made onto its fds 1 and 2.
Pipe OpenPipe() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    throw PosixError("pipe", errno);
  }
  return Pipe{Descriptor(ends[0]), Descriptor(ends[1])};
}

class SpawnActions {
 public:
  SpawnActions() {
    if (const int error_number = posix_spawn_file_actions_init(&actions_)) {
      throw PosixError("posix_spawn_file_actions_init", error_number);
    }
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  ~SpawnActions() { (void)posix_spawn_file_actions_destroy(&actions_); }

  // Standard input from /dev/null, output and errors into the pipes, the
  // handed directory (unless -1) as kHandedDirectoryDescriptor, every other
  // inherited descriptor closed. A directory that already has that number
  // keeps it: a dup2 onto itself only clears its close-on-exec flag.
  void Redirect(int output, int errors, int handed_directory) {
    int error_number = posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
    if (error_number == 0) {
      error_number = posix_spawn_file_actions_adddup2(&actions_, output, 1);
    }
    if (error_number == 0) {
      error_number = posix_spawn_file_actions_adddup2(&actions_, errors, 2);
    }
    int first_closed = kHandedDirectoryDescriptor;
    if (error_number == 0 && handed_directory >= 0) {
      error_number =
          posix_spawn_file_actions_adddup2(&actions_, handed_directory, kHandedDirectoryDescriptor);
      first_closed = kHandedDirectoryDescriptor + 1;
    }
    if (error_number == 0) {
      error_number = posix_spawn_file_actions_addclosefrom_np(&actions_, first_closed);
    }
    if (error_number != 0) {
      throw PosixError("posix_spawn_file_actions", error_number);
    }
  }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

class SpawnAttributes {
 public:
  SpawnAttributes() {
    if (const int error_number = posix_spawnattr_init(&attributes_)) {
      throw PosixError("posix_spawnattr_init", error_number);
    }
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() { (void)posix_spawnattr_destroy(&attributes_); }

  // A process group of its own, so that the component and whatever it starts
  // can be told apart from the program; SIGPIPE back to its default, since
  // the program ignores it and an ignored signal stays ignored across exec;
  // no signal blocked.
  void Isolate() {
    sigset_t default_signals;
    sigset_t no_signals;
    (void)sigemptyset(&default_signals);
    (void)sigaddset(&default_signals, SIGPIPE);
    (void)sigemptyset(&no_signals);
    int error_number = posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    if (error_number == 0) {
      error_number = posix_spawnattr_setpgroup(&attributes_, 0);
    }
    if (error_number == 0) {
      error_number = posix_spawnattr_setsigdefault(&attributes_, &default_signals);
    }
    if (error_number == 0) {
      error_number = posix_spawnattr_setsigmask(&attributes_, &no_signals);
    }
    if (error_number != 0) {
      throw PosixError("posix_spawnattr", error_number);
    }
  }
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// Reads both pipes until the component has closed them, through one poll so
// that neither can fill up while the other is being waited on. Returns false
// when `deadline` (on the monotonic clock) passes first.
bool CollectOutput(Pipe& output_pipe, Pipe& error_pipe, double deadline, std::string& output,
                   std::string& errors) {
  struct Stream {
    Descriptor& descriptor;
    std::string& sink;
  } streams[2] = {{output_pipe.read_end, output}, {error_pipe.read_end, errors}};
  while (streams[0].descriptor.get() >= 0 || streams[1].descriptor.get() >= 0) {
    const double remaining = deadline - MonotonicSeconds();
    if (remaining <= 0) {
      return false;
    }
    // poll skips the entries of a closed stream (-1).
    pollfd fds[2] = {{streams[0].descriptor.get(), POLLIN, 0},
                     {streams[1].descriptor.get(), POLLIN, 0}};
    // A retried call may overrun the deadline by one timeout's worth only
    // when a signal interrupts it, and the next pass checks it again.
    if (RetryOnInterrupt([&] { return poll(fds, 2, static_cast<int>(remaining * 1000) + 1); }) <
        0) {
      throw PosixError("poll", errno);
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) {
        continue;
      }
      char buffer[4096];
      const ssize_t got = RetryOnInterrupt([&] { return read(fds[i].fd, buffer, sizeof buffer); });
      if (got > 0) {
        streams[i].sink.append(buffer, static_cast<size_t>(got));
      } else {
        streams[i].descriptor.Close();
      }
    }
  }
  return true;
}

std::string LastNonEmptyLine(std::string_view text) {
  while (!text.empty()) {
    const size_t newline = text.rfind('\n');
    const size_t start = newline == std::string_view::npos ? 0 : newline + 1;
    std::string_view line = text.substr(start);
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (!line.empty()) {
      return std::string(line);
    }
    text = text.substr(0, start == 0 ? 0 : newline);
  }
  return {};
}

std::string WithoutTrailingLineEnd(std::string text) {
  if (text.ends_with("\r\n")) {
    text.resize(text.size() - 2);
  } else if (text.ends_with('\n')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

AutomationObject::AutomationObject(std::string_view directory,
                                   std::string_view programmatic_identifier)
    : program_(std::string(directory) + "/" + std::string(programmatic_identifier)) {
  struct stat status {};
  if (stat(program_.c_str(), &status) != 0) {
    throw PosixError("create object " + program_, errno);
  }
  if (!S_ISREG(status.st_mode) || access(program_.c_str(), X_OK) != 0) {
    throw PosixError("create object " + program_, EACCES);
  }
}

std::string AutomationObject::CallMethod(std::string_view method, std::string_view argument,
                                         const std::vector<std::string>& environment,
                                         std::chrono::seconds time_limit,
                                         int handed_directory) const {
  std::vector<std::string_view> texts = {method, argument};
  texts.insert(texts.end(), environment.begin(), environment.end());
  size_t argument_bytes = program_.size() + 1;
  for (const std::string_view text : texts) {
    if (text.find('\0') != std::string_view::npos) {
      throw Error(ErrorKind::kInvalidArgument,
                  "run " + program_ + ": an argument or environment entry holds a NUL byte");
    }
    argument_bytes += text.size() + 1;
  }
  const double deadline = MonotonicSeconds() + static_cast<double>(time_limit.count());
  Pipe output_pipe = OpenPipe();
  Pipe error_pipe = OpenPipe();
  SpawnActions actions;
  actions.Redirect(output_pipe.write_end.get(), error_pipe.write_end.get(), handed_directory);
  SpawnAttributes attributes;
  attributes.Isolate();

  std::string program = program_;
  std::string method_text(method);
  std::string argument_text(argument);
  char* argv[] = {program.data(), method_text.data(), argument_text.data(), nullptr};
  std::vector<std::string> environment_texts = environment;
  std::vector<char*> envp;
  for (std::string& entry : environment_texts) {
    envp.push_back(entry.data());
  }
  envp.push_back(nullptr);
  int error_number = 0;
  const pid_t child = SpawnRecordedChild([&] {
    pid_t pid = 0;
    error_number =
        posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv, envp.data());
    return error_number == 0 ? pid : 0;
  });
  if (error_number == E2BIG) {
    // The kernel's limit on one argument (128 KiB) or on all of them: the
    // request asked for something too long, not for memory.
    throw Error(ErrorKind::kInvalidArgument, "run " + program_ + ": argument list too long (" +
                                                 std::to_string(argument_bytes) + " bytes)");
  }
  if (error_number != 0) {
    throw PosixError("run " + program_, error_number);
  }
  // Only the child writes now; its closing the pipes ends the collection.
  output_pipe.write_end.Close();
  error_pipe.write_end.Close();

  std::string output;
  std::string errors;
  // A component that closed its pipes may still run; it gets no more time
  // than one that kept them open.
  std::optional<int> reaped;
  if (CollectOutput(output_pipe, error_pipe, deadline, output, errors)) {
    reaped = ReapRecordedChild(child, deadline);
  }
  if (!reaped) {
    (void)StopProcessGroup(child, kStopGraceMilliseconds);
    throw Error(ErrorSource::kSystem, ETIMEDOUT,
                "converter " + program_ + " ran past its time limit of " +
                    std::to_string(time_limit.count()) + " s and was stopped");
  }
  const int status = *reaped;

  if (WIFSIGNALED(status)) {
    const int signal_number = WTERMSIG(status);
    throw Error(ErrorSource::kConverterSignal, signal_number,
                "converter ended by signal " + std::to_string(signal_number) + " (" +
                    strsignal(signal_number) + ")");
  }
  const int exit_status = WEXITSTATUS(status);
  if (exit_status != 0) {
    const std::string line = LastNonEmptyLine(errors);
    throw Error(ErrorSource::kConverterStatus, exit_status,
                line.empty() ? "converter failed with exit status " + std::to_string(exit_status)
                             : EscapeControlCharacters(line));
  }
  for (std::string_view rest = errors; !rest.empty();) {
    const size_t end = std::min(rest.find('\n'), rest.size());
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(std::min(end + 1, rest.size()));
    if (line.ends_with('\r')) {
      line.remove_suffix(1);
    }
    if (!line.empty()) {
      AppendLogEntry(LogEntryType::kMessage, line);
    }
  }
  return WithoutTrailingLineEnd(std::move(output));
}

AutomationObject CreateObject(std::string_view programmatic_identifier) {
  return AutomationObject(ExecutableDirectory(), programmatic_identifier);
}

std::string ComponentPath(std::string_view programmatic_identifier) {
  return ExecutableDirectory() + "/" + std::string(programmatic_identifier);
}

}  // namespace ostrel
