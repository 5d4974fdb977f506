// The process entry that a web server's CGI launch reaches: one request per
// process.
#include <memory>

#include "platform/application_log.h"
#include "platform/error.h"
#include "platform/standard_io.h"
#include "shell/ostrel_class.h"

int main() {
  ostrel::IgnoreBrokenPipe();
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
