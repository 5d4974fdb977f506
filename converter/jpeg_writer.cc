#include "converter/jpeg_writer.h"

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <utility>

#include "converter/conversion_failure.h"
#include "converter/rgba_pixel.h"

namespace ostrel {
namespace {

constexpr size_t kFlushSize = size_t{64} * 1024;
constexpr size_t kOutputBlock = size_t{16} * 1024;

// A colour over white: what a JPEG, which has no transparency, shows.
Rgb OverWhite(Rgb color, uint32_t alpha) {
  const auto over = [alpha](uint32_t value) {
    return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
  };
  return {over(color.red), over(color.green), over(color.blue)};
}

// A libtiff pixel's premultiplied channel over white, exactly.
inline uint8_t PremultipliedOverWhite(uint32_t value, uint32_t alpha) {
  return static_cast<uint8_t>(std::min(255u, value + 255 - alpha));
}

}  // namespace

struct JpegWriter::Codec {
  jpeg_compress_struct compressor{};
  jpeg_error_mgr errors{};
  jpeg_destination_mgr destination{};
  std::jmp_buf jump{};
  std::array<JOCTET, kOutputBlock> output{};
  bool created = false;
  ~Codec() {
    if (created) {
      jpeg_destroy_compress(&compressor);
    }
  }
};

// libjpeg calls these back; an error must not return, and nothing C++
// raises may pass through libjpeg's frames: it is kept, and the error jump
// taken instead.
struct JpegCallbacks {
  static JpegWriter& Writer(j_common_ptr common) {
    return *static_cast<JpegWriter*>(common->client_data);
  }
  static void OnError(j_common_ptr common) {
    JpegWriter& writer = Writer(common);
    char message[JMSG_LENGTH_MAX] = "";
    (*common->err->format_message)(common, message);
    std::memcpy(writer.error_.data(), message, std::min(sizeof message, writer.error_.size() - 1));
    writer.error_code_ = common->err->msg_code;
    std::longjmp(writer.codec_->jump, 1);
  }
  // Warnings say nothing about the pixels, and standard error is the
  // converter's report.
  static void OnMessage(j_common_ptr /*common*/) {}
  static void OnInitDestination(j_compress_ptr compressor) {
    JpegWriter::Codec& codec = *Writer(reinterpret_cast<j_common_ptr>(compressor)).codec_;
    codec.destination.next_output_byte = codec.output.data();
    codec.destination.free_in_buffer = codec.output.size();
  }
  // Moves `length` bytes of the output block into the writer's buffer.
  static void Keep(j_compress_ptr compressor, size_t length) {
    JpegWriter& writer = Writer(reinterpret_cast<j_common_ptr>(compressor));
    bool failed = false;
    try {
      writer.buffer_.append(reinterpret_cast<const char*>(writer.codec_->output.data()), length);
    } catch (...) {  // kept for Call to raise once libjpeg's frames are left
      writer.raised_ = std::current_exception();
      failed = true;
    }
    if (failed) {
      std::longjmp(writer.codec_->jump, 1);
    }
    OnInitDestination(compressor);
  }
  static boolean OnBlockFull(j_compress_ptr compressor) {
    Keep(compressor, kOutputBlock);
    return TRUE;
  }
  static void OnTermDestination(j_compress_ptr compressor) {
    Keep(compressor, kOutputBlock - compressor->dest->free_in_buffer);
  }
};

namespace {

// Runs `step` under the error jump; false when libjpeg jumped out of it.
// `step` holds no object with a destructor, which the jump would skip.
template <typename Step>
bool JumpGuarded(std::jmp_buf& jump, const Step& step) noexcept {
  if (setjmp(jump) != 0) {
    return false;
  }
  step();
  return true;
}

}  // namespace

JpegWriter::JpegWriter(ImageSize size, ByteSink sink)
    : size_(size), sink_(std::move(sink)), codec_(std::make_unique<Codec>()) {
  buffer_.reserve(kFlushSize + kOutputBlock);
}

JpegWriter::~JpegWriter() = default;

template <typename Step>
void JpegWriter::Call(const Step& step) {
  if (!JumpGuarded(codec_->jump, step)) {
    RaiseFailure();
  }
}

void JpegWriter::RaiseFailure() {
  if (raised_) {
    std::rethrow_exception(raised_);
  }
  const std::string message = error_.data();
  throw ConversionError(error_code_ == JERR_OUT_OF_MEMORY ? ConversionFailure::kOutOfMemory
                                                          : ConversionFailure::kInternal,
                        "JPEG encoder: " + message);
}

std::unique_ptr<JpegWriter> JpegWriter::Indexed(ImageSize size, const IndexedPalette& palette,
                                                int quality, ByteSink sink) {
  std::unique_ptr<JpegWriter> writer(new JpegWriter(size, std::move(sink)));
  writer->indexed_ = true;
  bool gray = true;
  for (size_t i = 0; i < palette.colors.size(); ++i) {
    const uint32_t alpha = i < palette.alpha.size()         ? palette.alpha[i]
                           : palette.transparent_index == i ? 0
                                                            : 255;
    const Rgb color = OverWhite(palette.colors[i], alpha);
    gray = gray && color.red == color.green && color.green == color.blue;
    writer->colors_.push_back(color);
  }
  writer->colors_.resize(256);
  writer->Start(gray, quality);
  return writer;
}

std::unique_ptr<JpegWriter> JpegWriter::TrueColor(ImageSize size, int quality, ByteSink sink) {
  std::unique_ptr<JpegWriter> writer(new JpegWriter(size, std::move(sink)));
  writer->Start(false, quality);
  return writer;
}

void JpegWriter::Start(bool gray, int quality) {
  gray_ = gray;
  row_.resize(size_t{size_.width} * (gray ? 1 : 3));
  Codec& codec = *codec_;
  codec.compressor.err = jpeg_std_error(&codec.errors);
  codec.errors.error_exit = JpegCallbacks::OnError;
  codec.errors.output_message = JpegCallbacks::OnMessage;
  codec.compressor.client_data = this;
  codec.destination.init_destination = JpegCallbacks::OnInitDestination;
  codec.destination.empty_output_buffer = JpegCallbacks::OnBlockFull;
  codec.destination.term_destination = JpegCallbacks::OnTermDestination;
  jpeg_compress_struct* const compressor = &codec.compressor;
  jpeg_destination_mgr* const destination = &codec.destination;
  bool* const created = &codec.created;
  const ImageSize size = size_;
  Call([compressor, destination, created, size, gray, quality] {
    jpeg_create_compress(compressor);
    *created = true;
    compressor->dest = destination;
    compressor->image_width = size.width;
    compressor->image_height = size.height;
    compressor->input_components = gray ? 1 : 3;
    compressor->in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(compressor);
    jpeg_set_quality(compressor, quality, TRUE);
    jpeg_start_compress(compressor, TRUE);
  });
  FlushIfFull();
}

void JpegWriter::PutRow(std::span<const uint8_t> row) {
  const size_t width = size_.width;
  if (indexed_ && gray_) {
    for (size_t x = 0; x < width; ++x) {
      row_[x] = colors_[row[x]].red;
    }
  } else if (indexed_) {
    for (size_t x = 0; x < width; ++x) {
      const Rgb& color = colors_[row[x]];
      row_[3 * x] = color.red;
      row_[3 * x + 1] = color.green;
      row_[3 * x + 2] = color.blue;
    }
  } else {
    for (size_t x = 0; x < width; ++x) {
      uint32_t pixel;
      std::memcpy(&pixel, row.data() + 4 * x, sizeof pixel);
      const uint32_t alpha = AlphaOf(pixel);
      row_[3 * x] = PremultipliedOverWhite(pixel & 0xff, alpha);
      row_[3 * x + 1] = PremultipliedOverWhite(pixel >> 8 & 0xff, alpha);
      row_[3 * x + 2] = PremultipliedOverWhite(pixel >> 16 & 0xff, alpha);
    }
  }
  jpeg_compress_struct* const compressor = &codec_->compressor;
  JSAMPROW line = row_.data();
  JSAMPROW* const lines = &line;
  Call([compressor, lines] { jpeg_write_scanlines(compressor, lines, 1); });
  ++rows_written_;
  FlushIfFull();
}

void JpegWriter::Finish() {
  if (rows_written_ != size_.height) {
    throw ConversionError(ConversionFailure::kInternal,
                          "JPEG encoder: " + std::to_string(rows_written_) + " rows of " +
                              std::to_string(size_.height) + " written");
  }
  jpeg_compress_struct* const compressor = &codec_->compressor;
  Call([compressor] { jpeg_finish_compress(compressor); });
  sink_(buffer_);
  buffer_.clear();
}

void JpegWriter::FlushIfFull() {
  if (buffer_.size() >= kFlushSize) {
    sink_(buffer_);
    buffer_.clear();
  }
}

}  // namespace ostrel
