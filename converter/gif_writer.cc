#include "converter/gif_writer.h"

#include <algorithm>
#include <utility>

#include <gif_lib.h>

#include "converter/conversion_failure.h"

namespace ostrel {
namespace {

constexpr size_t kFlushSize = size_t{64} * 1024;

Error GiflibError(int error_code) {
  if (error_code == E_GIF_ERR_NOT_ENOUGH_MEM) {
    return Error(ErrorKind::kOutOfMemory, "GIF encoder");
  }
  const char* text = GifErrorString(error_code);
  return ConversionError(ConversionFailure::kInternal,
                         std::string("GIF encoder: ") + (text != nullptr ? text : "failed"));
}

int PaletteBits(size_t colors) {
  int bits = 1;
  while ((size_t{1} << bits) < colors) {
    ++bits;
  }
  return bits;
}

}  // namespace

void GifWriter::GifCloser::operator()(GifFileType* gif) const {
  // Abandoning a GIF whose writing failed: its bytes are thrown away.
  int ignored = 0;
  (void)EGifCloseFile(gif, &ignored);
}

GifWriter::GifWriter(ImageSize size, const IndexedPalette& palette, ByteSink sink)
    : size_(size), sink_(std::move(sink)), line_(size.width) {
  buffer_.reserve(kFlushSize + 256);
  int error_code = 0;
  gif_.reset(EGifOpen(this, Output, &error_code));
  if (!gif_) {
    throw GiflibError(error_code);
  }
  EGifSetGifVersion(gif_.get(), true);

  const int bits = PaletteBits(palette.colors.size());
  std::vector<GifColorType> colors(size_t{1} << bits, GifColorType{0, 0, 0});
  std::transform(palette.colors.begin(), palette.colors.end(), colors.begin(), [](Rgb color) {
    return GifColorType{color.red, color.green, color.blue};
  });
  const std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(
      GifMakeMapObject(static_cast<int>(colors.size()), colors.data()), GifFreeMapObject);
  if (!map) {
    throw Error(ErrorKind::kOutOfMemory, "GIF colour table");
  }
  Check(EGifPutScreenDesc(gif_.get(), static_cast<int>(size.width), static_cast<int>(size.height),
                          bits, 0, map.get()));
  if (palette.transparent_index) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSAL_UNSPECIFIED;
    control.TransparentColor = *palette.transparent_index;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    Check(
        EGifPutExtension(gif_.get(), GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension));
  }
  Check(EGifPutImageDesc(gif_.get(), 0, 0, static_cast<int>(size.width),
                         static_cast<int>(size.height), false, nullptr));
}

GifWriter::~GifWriter() = default;

int GifWriter::Output(GifFileType* gif, const uint8_t* bytes, int count) {
  auto* writer = static_cast<GifWriter*>(gif->UserData);
  try {  // called from giflib's C code: the failure is raised again once giflib has returned
    writer->buffer_.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    if (writer->buffer_.size() >= kFlushSize) {
      writer->Flush();
    }
    return count;
  } catch (...) {
    writer->sink_failure_ = std::current_exception();
    return 0;
  }
}

void GifWriter::Flush() {
  sink_(buffer_);
  buffer_.clear();
}

void GifWriter::Check(int result) {
  if (result == GIF_ERROR) {
    Raise(gif_->Error);
  }
}

void GifWriter::Raise(int error_code) {
  if (sink_failure_) {
    std::rethrow_exception(std::exchange(sink_failure_, nullptr));
  }
  throw GiflibError(error_code);
}

void GifWriter::PutRow(std::span<const uint8_t> indices) {
  // EGifPutLine masks the pixels it is given in place, so it gets a copy.
  std::copy_n(indices.begin(), line_.size(), line_.begin());
  Check(EGifPutLine(gif_.get(), line_.data(), static_cast<int>(line_.size())));
  ++rows_written_;
}

void GifWriter::Finish() {
  if (rows_written_ != size_.height) {
    throw ConversionError(ConversionFailure::kInternal,
                          "GIF encoder: " + std::to_string(rows_written_) + " rows of " +
                              std::to_string(size_.height) + " written");
  }
  int error_code = 0;
  if (EGifCloseFile(gif_.release(), &error_code) == GIF_ERROR) {
    Raise(error_code);
  }
  Flush();
}

}  // namespace ostrel
