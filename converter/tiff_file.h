// A TIFF file opened through libtiff, from a path, an open file or bytes in
// memory, with libtiff's allocations bounded and its messages kept.
#ifndef OSTREL_CONVERTER_TIFF_FILE_H_
#define OSTREL_CONVERTER_TIFF_FILE_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "converter/conversion_failure.h"
#include "converter/tiff_messages.h"
#include "platform/file.h"

struct tiff;  // libtiff's TIFF

namespace ostrel {

class TiffFile {
 public:
  // libtiff refuses single allocations above this; our own buffers are
  // bounded by the pixel limit instead.
  static constexpr int64_t kMaxLibraryAllocation = 256 << 20;

  // Opens the file at `path`. Raises kCannotReadSource, kNotTiff or
  // kDamagedTiff.
  static TiffFile Open(const std::string& path);
  // The same for `file`, opened already from `path`.
  static TiffFile FromOpenedFile(ReadOnlyFile file, const std::string& path);
  // The same for a TIFF file held in memory, named `name` in messages;
  // `bytes` must outlive the TiffFile.
  static TiffFile FromMemory(std::span<const uint8_t> bytes, const std::string& name);

  TiffFile(TiffFile&& other) noexcept;
  TiffFile& operator=(TiffFile&&) = delete;
  ~TiffFile();

  tiff* handle() const { return handle_.get(); }
  // The path, or the name given to bytes in memory, as messages name it.
  const std::string& name() const { return name_; }
  TiffMessages& messages() { return *messages_; }
  const TiffMessages& messages() const { return *messages_; }

  // TiffMessages::Fail and CheckDecoded for this file.
  [[noreturn]] void Fail(ConversionFailure failure, const std::string& what) {
    messages_->Fail(failure, what);
  }
  void CheckDecoded(bool ok) { messages_->CheckDecoded(ok, name_); }

 private:
  struct MemoryFile;  // the read position in a file held in memory
  struct Closer {
    void operator()(tiff* file) const;
  };

  explicit TiffFile(std::string name);
  // Takes over `handle`, opened by libtiff, or raises kDamagedTiff for a
  // null one.
  void Adopt(tiff* handle);

  std::string name_;
  std::unique_ptr<TiffMessages> messages_;  // in its own place: libtiff holds it
  std::unique_ptr<MemoryFile> memory_;
  std::unique_ptr<tiff, Closer> handle_;  // last: it goes first
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_TIFF_FILE_H_
