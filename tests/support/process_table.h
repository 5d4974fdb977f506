// Looking for processes that a test may have left running.
#ifndef OSTREL_TESTS_SUPPORT_PROCESS_TABLE_H_
#define OSTREL_TESTS_SUPPORT_PROCESS_TABLE_H_

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace ostrel::testing {

// Processes of process group `group` still running after up to `settle`
// for them to go (a killed process takes a moment to die). Zombies do not
// count: an orphan's zombie waits for whoever adopted it, which a test does
// not control.
std::vector<pid_t> LiveProcessesInGroup(
    pid_t group, std::chrono::milliseconds settle = std::chrono::milliseconds(2000));

// Processes whose command line holds `text`, the caller excepted, still
// running after up to `settle`.
std::vector<pid_t> LiveProcessesWith(
    const std::string& text, std::chrono::milliseconds settle = std::chrono::milliseconds(2000));

// Zombies whose command name (at most 15 characters, as the kernel keeps it)
// is `name`: children that nobody has reaped.
std::vector<pid_t> ZombieProcessesNamed(const std::string& name);

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_PROCESS_TABLE_H_
