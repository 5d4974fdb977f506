// The process entry that a web server's CGI launch reaches: one request per
// process.
#include <cstdio>
#include <memory>
#include <string_view>

#include "cgi/ostrel_class.h"
#include "platform/application_log.h"
#include "platform/environment.h"
#include "platform/error.h"
#include "platform/standard_io.h"
#include "platform/termination_cleanup.h"

namespace {

// Run by hand with the one argument --version, outside CGI: every web server
// sets GATEWAY_INTERFACE. A request's command line is ignored, since a
// server passes a query without "=" (such as "?--version") as arguments.
bool AskedForVersion(int argc, char** argv) {
  return argc == 2 && std::string_view(argv[1]) == "--version" &&
         ostrel::GetEnvironmentVariable("GATEWAY_INTERFACE").empty();
}

}  // namespace

int main(int argc, char** argv) {
  if (AskedForVersion(argc, argv)) {
    return std::fputs("ostrel " OSTREL_VERSION "\n", stdout) < 0 ? 1 : 0;
  }
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
