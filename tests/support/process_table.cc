#include "tests/support/process_table.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace ostrel::testing {
namespace {

struct ProcessInfo {
  pid_t pid = 0;
  char state = '?';
  pid_t group = 0;
  std::string name;          // the command name, cut to 15 characters
  std::string command_line;  // arguments separated by blanks
};

// Every process in /proc; one that ends while being read is skipped.
std::vector<ProcessInfo> ProcessTable() {
  std::vector<ProcessInfo> table;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    std::ifstream stat_file(entry.path() / "stat");
    const std::string stat((std::istreambuf_iterator<char>(stat_file)), {});
    // "pid (command) state ppid pgrp ...": the command may hold blanks and
    // parentheses, so the fields are read after its last ")".
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) {
      continue;
    }
    ProcessInfo info;
    info.pid = std::stoi(name);
    const size_t open = stat.find('(');
    info.name = open < close ? stat.substr(open + 1, close - open - 1) : "";
    pid_t parent = 0;
    std::istringstream fields(stat.substr(close + 1));
    fields >> info.state >> parent >> info.group;
    std::ifstream command_file(entry.path() / "cmdline");
    info.command_line.assign(std::istreambuf_iterator<char>(command_file), {});
    for (char& character : info.command_line) {
      character = character == '\0' ? ' ' : character;
    }
    table.push_back(info);
  }
  return table;
}

// The live processes that `wanted` picks, polled until there are none or
// `settle` has passed.
template <typename Wanted>
std::vector<pid_t> LiveProcesses(const Wanted& wanted, std::chrono::milliseconds settle) {
  const auto give_up = std::chrono::steady_clock::now() + settle;
  for (;;) {
    std::vector<pid_t> found;
    for (const ProcessInfo& info : ProcessTable()) {
      if (info.pid != getpid() && info.state != 'Z' && info.state != 'X' && wanted(info)) {
        found.push_back(info.pid);
      }
    }
    if (found.empty() || std::chrono::steady_clock::now() >= give_up) {
      return found;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

std::vector<pid_t> LiveProcessesInGroup(pid_t group, std::chrono::milliseconds settle) {
  return LiveProcesses([group](const ProcessInfo& info) { return info.group == group; }, settle);
}

std::vector<pid_t> LiveProcessesWith(const std::string& text, std::chrono::milliseconds settle) {
  return LiveProcesses(
      [&text](const ProcessInfo& info) {
        return info.command_line.find(text) != std::string::npos;
      },
      settle);
}

std::vector<pid_t> ZombieProcessesNamed(const std::string& name) {
  std::vector<pid_t> found;
  for (const ProcessInfo& info : ProcessTable()) {
    if (info.state == 'Z' && info.name == name) {
      found.push_back(info.pid);
    }
  }
  return found;
}

}  // namespace ostrel::testing
