// The process entry that a web server's CGI launch reaches: one request per
// process.
#include <memory>

#include "platform/application_log.h"
#include "platform/error.h"
#include "platform/standard_io.h"
#include "platform/termination_cleanup.h"
#include "shell/ostrel_class.h"

int main() {
  ostrel::IgnoreBrokenPipe();
  // A web server sends SIGTERM when the client goes away mid-response; the
  // temporary GIF and a running converter must not outlive the request.
  ostrel::InstallTerminationCleanup();
  try {
    auto instance = std::make_unique<ostrel::OstrelClass>();
    instance->ClassMain();
  } catch (...) {  // the entry handler: what escapes the request goes to the log
    ostrel::AppendLogEntry(ostrel::LogEntryType::kError,
                           ostrel::ReportTail(ostrel::CurrentError()));
    return 1;
  }
  return 0;
}
