// The file responses: a status line, a content type and an empty line, then
// a file's bytes. The image (GIF, PNG or JPEG) is one; the file's JSON
// description is the other.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "cgi/ostrel_class.h"
#include "platform/file.h"

namespace ostrel {
namespace {

// Sends the file's bytes through `send`. The file is opened for reading
// only: a file that has vanished raises an error rather than being created
// and sent as empty. Its name is removed as soon as it is open and the bytes
// come from the open file, so that no way of ending the process, SIGKILL
// included, can leave it behind once streaming began. Its length is taken
// once, right after opening, and at most 1024 bytes are held at a time. A
// file that shrinks meanwhile ends the body early rather than padding it
// with made-up bytes.
void SendFileBytes(const std::string& file_name, const std::function<void(std::string)>& send) {
  constexpr int64_t kChunkSize = 1024;
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
    send(std::move(chunk));
  }
}

}  // namespace

void OstrelClass::SendGifFile(std::string file_name, std::string /*fn*/) {
  SendPictureFile(std::move(file_name), "image/gif");
}

// The header lines go out before the file is opened, one write each; the
// content type as the GIF's always was, without a blank after the colon.
void OstrelClass::SendPictureFile(std::string file_name, std::string content_type) {
  SendRaw("HTTP/1.0 200 OK\r\n");
  SendRaw("Content-Type:" + content_type + "\r\n");
  SendRaw("\r\n");
  SendFileBytes(file_name, [this](std::string chunk) { SendRaw(std::move(chunk)); });
}

// A description changes with the file, so no cache may keep it.
void OstrelClass::SendJsonFile(std::string file_name) {
  SendRaw("HTTP/1.0 200 OK\r\n");
  SendRaw("Content-Type: application/json\r\n");
  SendRaw("Cache-Control: no-cache\r\n");
  SendRaw("\r\n");
  SendFileBytes(file_name, [this](std::string chunk) { SendRaw(std::move(chunk)); });
}

}  // namespace ostrel
