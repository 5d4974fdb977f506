// The file responses: a status line, a content type and an empty line, then
// a file's bytes. The image (GIF, PNG or JPEG) is one; the file's JSON
// description is the other.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "cgi/http_response.h"
#include "cgi/ostrel_class.h"
#include "platform/file.h"

namespace ostrel {
namespace {

// Opens the file at `file_name` and removes its name. The converter renames
// a regular file into place; a link at that name was planted by someone
// else and could point at any file.
ReadOnlyFile OpenAndUnlink(const std::string& file_name) {
  ReadOnlyFile file(file_name, SymbolicLinks::kRefuse);
  DeleteFile(file_name);
  return file;
}

// Sends up to `length` bytes of `file` through `send`, 1024 at a time.
void SendOpenFile(ReadOnlyFile& file, int64_t length,
                  const std::function<void(std::string)>& send) {
  constexpr int64_t kChunkSize = 1024;
  for (int64_t remaining = length; remaining > 0;) {
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

// Sends the file's bytes through `send`. The file is opened for reading
// only: a file that has vanished raises an error rather than being created
// and sent as empty. Its name is removed as soon as it is open and the bytes
// come from the open file, so that no way of ending the process, SIGKILL
// included, can leave it behind once streaming began. Its length is taken
// once, right after opening, and at most 1024 bytes are held at a time. A
// file that shrinks meanwhile ends the body early rather than padding it
// with made-up bytes.
void SendFileBytes(const std::string& file_name, const std::function<void(std::string)>& send) {
  ReadOnlyFile file = OpenAndUnlink(file_name);
  SendOpenFile(file, file.Length(), send);
}

}  // namespace

void OstrelClass::SendGifFile(std::string file_name, std::string /*fn*/) {
  SendPictureFile(std::move(file_name), "image/gif");
}

// The header lines go out before the file is opened, one write each; the
// content type as the GIF's always was, without a blank after the colon.
void OstrelClass::SendPictureFile(std::string file_name, std::string content_type,
                                  const HeaderLines& headers) {
  SendRaw("HTTP/1.0 200 OK\r\n");
  SendRaw("Content-Type:" + content_type + "\r\n");
  if (!headers.empty()) {
    SendRaw(HeaderLinesText(headers));
  }
  SendRaw("\r\n");
  SendFileBytes(file_name, [this](std::string chunk) { SendRaw(std::move(chunk)); });
}

// The headers are written once the file is open, so that they can give its
// length.
void OstrelClass::SendHttpFile(const HttpResponse& head, std::string file_name, bool with_body) {
  ReadOnlyFile file = OpenAndUnlink(file_name);
  const int64_t length = file.Length();
  SendRaw(HttpResponseHead(head, WritesStatusLine(context_.SCRIPT_NAME),
                           static_cast<uint64_t>(length)));
  if (with_body) {
    SendOpenFile(file, length, [this](std::string chunk) { SendRaw(std::move(chunk)); });
  }
}

// A description changes with the file: without validators, a cache must
// not use it without asking again.
void OstrelClass::SendJsonFile(std::string file_name, const HeaderLines& headers) {
  SendRaw("HTTP/1.0 200 OK\r\n");
  SendRaw("Content-Type: application/json\r\n");
  if (headers.empty()) {
    SendRaw("Cache-Control: no-cache\r\n");
  }
  if (!headers.empty()) {
    SendRaw(HeaderLinesText(headers));
  }
  SendRaw("\r\n");
  SendFileBytes(file_name, [this](std::string chunk) { SendRaw(std::move(chunk)); });
}

}  // namespace ostrel
