#include "converter/tiff_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include <tiffio.h>

#include "platform/error.h"

namespace ostrel {
namespace {

bool IsTiffHeader(std::string_view bytes) {
  // Byte order, then 42 (classic TIFF) or 43 (BigTIFF) in that order.
  return bytes == std::string_view("II*\0", 4) || bytes == std::string_view("MM\0*", 4) ||
         bytes == std::string_view("II+\0", 4) || bytes == std::string_view("MM\0+", 4);
}

struct OptionsDeleter {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// libtiff's options with its allocations bounded and its messages kept in
// `messages` instead of printed.
std::unique_ptr<TIFFOpenOptions, OptionsDeleter> OpenOptions(TiffMessages& messages) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) {
    throw Error(ErrorKind::kOutOfMemory);
  }
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), TiffFile::kMaxLibraryAllocation);
  messages.KeepMessagesOf(options.get());
  return options;
}

}  // namespace

struct TiffFile::MemoryFile {
  std::span<const uint8_t> bytes;
  uint64_t position = 0;

  // libtiff's client procedures, called from C: none of them throws.
  static tmsize_t Read(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = *static_cast<MemoryFile*>(handle);
    if (size < 0 || file.position >= file.bytes.size()) {
      return 0;
    }
    const size_t count =
        std::min(static_cast<size_t>(size), static_cast<size_t>(file.bytes.size() - file.position));
    std::memcpy(buffer, file.bytes.data() + file.position, count);
    file.position += count;
    return static_cast<tmsize_t>(count);
  }
  static tmsize_t Write(thandle_t, void*, tmsize_t) { return -1; }
  static toff_t Seek(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& file = *static_cast<MemoryFile*>(handle);
    const uint64_t base = whence == SEEK_CUR   ? file.position
                          : whence == SEEK_END ? file.bytes.size()
                                               : 0;
    // toff_t is unsigned: a negative step arrives as a huge one, and the
    // sum wraps back to the wanted position.
    file.position = base + offset;
    return file.position;
  }
  static int Close(thandle_t) { return 0; }
  static toff_t Size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }
  static int Map(thandle_t, void**, toff_t*) { return 0; }
  static void Unmap(thandle_t, void*, toff_t) {}
};

void TiffFile::Closer::operator()(TIFF* file) const { TIFFClose(file); }

TiffFile::TiffFile(std::string name)
    : name_(std::move(name)), messages_(std::make_unique<TiffMessages>()) {}

TiffFile::TiffFile(TiffFile&& other) noexcept = default;

TiffFile::~TiffFile() = default;

TiffFile TiffFile::Open(const std::string& path) {
  ReadOnlyFile file =
      WithFailureKind(ConversionFailure::kCannotReadSource, [&] { return ReadOnlyFile(path); });
  return FromOpenedFile(std::move(file), path);
}

TiffFile TiffFile::FromOpenedFile(ReadOnlyFile file, const std::string& path) {
  TiffFile opened(path);
  const std::string header =
      WithFailureKind(ConversionFailure::kCannotReadSource, [&] { return file.ReadPrefix(4); });
  if (!IsTiffHeader(header)) {
    throw ConversionError(ConversionFailure::kNotTiff, "not a TIFF file: " + path);
  }
  const auto options = OpenOptions(opened.messages());
  // "m": read(2) instead of a memory map, so that a file truncated while it
  // is read gives a read error, not SIGBUS.
  TIFF* handle = TIFFFdOpenExt(file.descriptor(), path.c_str(), "rm", options.get());
  if (handle != nullptr) {
    file.Release();  // TIFFClose closes it
  }
  opened.Adopt(handle);
  return opened;
}

TiffFile TiffFile::FromMemory(std::span<const uint8_t> bytes, const std::string& name) {
  TiffFile opened(name);
  opened.memory_ = std::make_unique<MemoryFile>(MemoryFile{bytes});
  const std::string_view header(reinterpret_cast<const char*>(bytes.data()),
                                std::min<size_t>(bytes.size(), 4));
  if (!IsTiffHeader(header)) {
    throw ConversionError(ConversionFailure::kNotTiff, "not a TIFF file: " + name);
  }
  const auto options = OpenOptions(opened.messages());
  opened.Adopt(TIFFClientOpenExt(name.c_str(), "rm", opened.memory_.get(), MemoryFile::Read,
                                 MemoryFile::Write, MemoryFile::Seek, MemoryFile::Close,
                                 MemoryFile::Size, MemoryFile::Map, MemoryFile::Unmap,
                                 options.get()));
  return opened;
}

void TiffFile::Adopt(TIFF* handle) {
  handle_.reset(handle);
  if (!handle_) {
    Fail(ConversionFailure::kDamagedTiff, "damaged TIFF file " + name_);
  }
}

}  // namespace ostrel
