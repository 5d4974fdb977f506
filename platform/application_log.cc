#include "platform/application_log.h"

#include <unistd.h>

#include "platform/standard_io.h"

namespace ostrel {

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char character : text) {
    const auto byte = static_cast<unsigned char>(character);
    switch (byte) {
      case '\n':
        escaped.append("\\n");
        break;
      case '\r':
        escaped.append("\\r");
        break;
      case '\t':
        escaped.append("\\t");
        break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          escaped.append("\\x");
          escaped.push_back(kHexDigits[byte >> 4]);
          escaped.push_back(kHexDigits[byte & 0xf]);
        } else {
          escaped.push_back(character);
        }
    }
  }
  return escaped;
}

void AppendLogEntry(LogEntryType type, std::string_view text) {
  std::string line = type == LogEntryType::kError ? "ostrel: error: " : "ostrel: message: ";
  line.append(EscapeControlCharacters(text));
  line.push_back('\n');
  // One write per entry keeps concurrent processes' lines whole.
  (void)WriteAll(FileHandle{STDERR_FILENO}, line);
}

}  // namespace ostrel
