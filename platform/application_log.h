// The application log: one line per entry on standard error, which every web
// server files in its error log.
#ifndef OSTREL_PLATFORM_APPLICATION_LOG_H_
#define OSTREL_PLATFORM_APPLICATION_LOG_H_

#include <string>
#include <string_view>

namespace ostrel {

enum class LogEntryType {
  kError = 1,
  kMessage = 4,  // what the program would otherwise show a user
};

// Appends "ostrel: error: TEXT" or "ostrel: message: TEXT". A failed write
// is not reported: there is nowhere left to report it.
void AppendLogEntry(LogEntryType type, std::string_view text);

// `text` with every control character written as \n, \r, \t or \xHH, so
// that one entry is always one line.
std::string EscapeControlCharacters(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_APPLICATION_LOG_H_
