#include "converter/tiff_messages.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include <tiffio.h>

namespace ostrel {
namespace {

bool StartsWith(const char* text, std::string_view prefix) {
  return std::strncmp(text, prefix.data(), prefix.size()) == 0;
}

// A CCITT decoder's report of a line it could not decode in full: it fills
// in the rest of the line and resynchronises at the next one. The text goes
// on "at line N of strip M (...)".
const char* DamagedLineOf(const char* text) {
  for (const std::string_view report :
       {"Bad code word ", "Premature EOL ", "Line length mismatch "}) {
    if (StartsWith(text, report)) {
      return text + report.size();
    }
  }
  return nullptr;
}

// Warnings about how the file was written, which lose no pixels: the data
// that follows decodes in full.
bool IsWritingStyleWarning(const char* text) {
  // Old-style JPEG takes the sampling from the JPEG stream when the tag
  // does not fit the page.
  return StartsWith(text, "Deprecated and troublesome old-style JPEG") ||
         StartsWith(text, "Old-style LZW codes") ||
         StartsWith(text, "Subsampling tag not appropriate");
}

}  // namespace

void TiffMessages::KeepMessagesOf(TIFFOpenOptions* options) {
  TIFFOpenOptionsSetErrorHandlerExtR(options, KeepError, this);
  TIFFOpenOptionsSetWarningHandlerExtR(options, KeepWarning, this);
}

// libtiff calls these from C: they must not throw, so they write into fixed
// buffers and allocate nothing. Returning 1 keeps the message off the
// process-wide handler, which would print it on standard error.
int TiffMessages::KeepError(TIFF*, void* messages, const char* module, const char* format,
                            va_list arguments) {
  auto& kept = *static_cast<TiffMessages*>(messages);
  kept.Keep(kept.error_, module, format, arguments);
  return 1;
}

int TiffMessages::KeepWarning(TIFF*, void* messages, const char* module, const char* format,
                              va_list arguments) {
  auto& kept = *static_cast<TiffMessages*>(messages);
  kept.Keep(kept.warning_, module, format, arguments);
  return 1;
}

void TiffMessages::Keep(char* slot, const char* module, const char* format, va_list arguments) {
  char text[kCapacity];
  (void)std::vsnprintf(text, kCapacity, format, arguments);
  const char* line = DamagedLineOf(text);
  if (line != nullptr && lines_recoverable_) {
    size_t key_length = std::min(std::strcspn(line, "("), sizeof last_damaged_line_ - 1);
    while (key_length > 0 && line[key_length - 1] == ' ') {
      --key_length;
    }
    if (std::strncmp(last_damaged_line_, line, key_length) != 0 ||
        last_damaged_line_[key_length] != '\0') {
      std::memcpy(last_damaged_line_, line, key_length);
      last_damaged_line_[key_length] = '\0';
      ++damaged_lines_;
    }
    return;
  }
  if (slot == warning_ && IsWritingStyleWarning(text)) {
    return;
  }
  if (slot[0] == '\0') {
    int prefix = module == nullptr ? 0 : std::snprintf(slot, kCapacity, "%s: ", module);
    prefix = std::clamp(prefix, 0, static_cast<int>(kCapacity) - 1);
    std::memcpy(slot + prefix, text, std::min(std::strlen(text) + 1, kCapacity - prefix - 1));
    slot[kCapacity - 1] = '\0';
  }
}

void TiffMessages::Reset() {
  ClearFirst();
  lines_recoverable_ = false;
  damaged_lines_ = 0;
  last_damaged_line_[0] = '\0';
  most_damaged_lines_ = 0;
}

void TiffMessages::ClearFirst() {
  error_[0] = '\0';
  warning_[0] = '\0';
}

void TiffMessages::BeginPass() {
  most_damaged_lines_ = DamagedLines();
  ClearFirst();
  damaged_lines_ = 0;
  last_damaged_line_[0] = '\0';
}

uint32_t TiffMessages::DamagedLines() const {
  return std::max(most_damaged_lines_, damaged_lines_);
}

void TiffMessages::Fail(ConversionFailure failure, const std::string& what) {
  std::string description = what;
  const char* message = error_[0] != '\0' ? error_ : warning_;
  if (message[0] != '\0') {
    description.append(": ").append(message);
  } else if (last_damaged_line_[0] != '\0') {
    // A fax decoder that ran out of data reports the line it stopped in.
    description.append(": the data breaks off ").append(last_damaged_line_);
  }
  ClearFirst();
  throw ConversionError(failure, std::move(description));
}

void TiffMessages::CheckDecoded(bool ok, const std::string& file_name) {
  // libtiff's decoders report damaged data (a CCITT stream that ends early,
  // a JPEG stream cut short) as warnings, or as errors while still
  // returning success, and fill in the rest: that would be a partial image.
  // Damaged lines of a fax, which its decoder is built to recover from, and
  // warnings about the writer's style are not kept as such.
  if (!ok || error_[0] != '\0' || warning_[0] != '\0') {
    Fail(ConversionFailure::kDamagedTiff, "cannot read the pixels of " + file_name);
  }
}

}  // namespace ostrel
