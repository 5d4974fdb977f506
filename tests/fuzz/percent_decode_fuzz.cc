// Fuzz target: PercentDecode on any bytes. It either refuses the text with a
// type-mismatch error or decodes it into no more bytes than it was given,
// and every byte it gives back decodes to itself again once escaped.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "helpers/percent_decode.h"
#include "platform/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string decoded;
  try {
    decoded = ostrel::PercentDecode(text);
  } catch (const ostrel::Error& error) {  // a malformed escape is refused: that is the contract
    if (error.number() != ostrel::Error(ostrel::ErrorKind::kTypeMismatch).number()) {
      std::abort();
    }
    return 0;
  }
  if (decoded.size() > text.size()) {
    std::abort();
  }
  std::string escaped;
  for (const char character : decoded) {
    char hex[4];
    (void)std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(character));
    escaped.append(hex);
  }
  if (ostrel::PercentDecode(escaped) != decoded) {
    std::abort();
  }
  return 0;
}
