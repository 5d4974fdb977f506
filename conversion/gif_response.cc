// The GIF response: a status line, the image/gif content type, an empty
// line, then a file's bytes.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/file.h"
#include "shell/ostrel_class.h"

namespace ostrel {

// The header lines go out before the file is opened. The file is opened for
// reading only: a file that has vanished raises an error rather than being
// created and sent as an empty image. Its name is removed as soon as it is
// open and the bytes come from the open file, so that no way of ending the
// process, SIGKILL included, can leave it behind once streaming began. Its
// length is taken once, right after opening, and at most 1024 bytes are held
// at a time. A file that shrinks meanwhile ends the body early rather than
// padding it with made-up bytes.
void OstrelClass::SendGifFile(std::string file_name, std::string /*fn*/) {
  constexpr int64_t kChunkSize = 1024;
  SendRaw("HTTP/1.0 200 OK\r\n");
  SendRaw("Content-Type:image/gif\r\n");
  SendRaw("\r\n");
  // The converter renames a regular file into place; a link at that name
  // was planted by someone else and could point at any file.
  ReadOnlyFile file(file_name, SymbolicLinks::kRefuse);
  DeleteFile(file_name);
  for (int64_t remaining = file.Length(); remaining > 0;) {
    std::string chunk(static_cast<size_t>(std::min(remaining, kChunkSize)), '\0');
    const size_t got = file.Read(chunk.data(), chunk.size());
    if (got == 0) {
      break;
    }
    chunk.resize(got);
    remaining -= static_cast<int64_t>(got);
    SendRaw(std::move(chunk));
  }
}

}  // namespace ostrel
