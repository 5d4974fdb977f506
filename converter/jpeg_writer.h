// Writes one baseline JPEG image, row by row, through libjpeg: 8-bit gray
// or RGB, anything transparent shown over white.
#ifndef OSTREL_CONVERTER_JPEG_WRITER_H_
#define OSTREL_CONVERTER_JPEG_WRITER_H_

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "converter/image_sink.h"
#include "converter/image_size.h"
#include "converter/indexed_rows.h"
#include "converter/rgb.h"

namespace ostrel {

class JpegWriter : public ImageWriter {
 public:
  // The largest side a JPEG allows (libjpeg's JPEG_MAX_DIMENSION).
  static constexpr uint32_t kMaxSide = 65500;

  // An image of indices into `palette`: gray when every entry, over white,
  // is a gray, else RGB. `quality` 1 to 100, as libjpeg's quality scaling
  // takes it. Raises what `sink` raises.
  static std::unique_ptr<JpegWriter> Indexed(ImageSize size, const IndexedPalette& palette,
                                             int quality, ByteSink sink);
  // An image of libtiff RGBA pixels, RGB.
  static std::unique_ptr<JpegWriter> TrueColor(ImageSize size, int quality, ByteSink sink);

  ~JpegWriter() override;
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;

  void PutRow(std::span<const uint8_t> row) override;
  void Finish() override;

 private:
  struct Codec;  // libjpeg's compressor, error and destination managers

  JpegWriter(ImageSize size, ByteSink sink);
  void Start(bool gray, int quality);
  // Runs `step`, calls of libjpeg, and raises what went wrong in it: what
  // the destination callback raised, or libjpeg's error.
  template <typename Step>
  void Call(const Step& step);
  [[noreturn]] void RaiseFailure();
  void FlushIfFull();

  friend struct JpegCallbacks;  // libjpeg's, which reach buffer_, error_ and raised_

  ImageSize size_;
  ByteSink sink_;
  std::unique_ptr<Codec> codec_;
  bool indexed_ = false;
  bool gray_ = false;
  Palette colors_;            // indexed: each index's colour over white
  std::vector<uint8_t> row_;  // a row as libjpeg takes it
  std::string buffer_;        // bytes not yet handed to the sink
  uint32_t rows_written_ = 0;
  std::array<char, 200> error_{};
  int error_code_ = 0;
  std::exception_ptr raised_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_JPEG_WRITER_H_
