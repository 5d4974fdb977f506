// Writes one PNG image, row by row, through libpng: in the smallest exact
// form the picture allows.
#ifndef OSTREL_CONVERTER_PNG_WRITER_H_
#define OSTREL_CONVERTER_PNG_WRITER_H_

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

namespace ostrel {

class PngWriter : public ImageWriter {
 public:
  // An image of indices into `palette`. Its depth is the smallest of 1, 2,
  // 4 and 8 bits that holds as many entries. When every entry is an opaque
  // gray that this depth shows exactly (at 4 bits the multiples of 17, at 8
  // bits any), the image is gray; else it has the palette, with a tRNS
  // chunk when an entry is less than opaque. Raises what `sink` raises.
  static std::unique_ptr<PngWriter> Indexed(ImageSize size, const IndexedPalette& palette,
                                            ByteSink sink);
  // An image of libtiff RGBA pixels: 8-bit RGB, or RGBA (colour as it was
  // before premultiplying) when `transparent`.
  static std::unique_ptr<PngWriter> TrueColor(ImageSize size, bool transparent, ByteSink sink);

  ~PngWriter() override;
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  void PutRow(std::span<const uint8_t> row) override;
  void Finish() override;

 private:
  // How a row that arrives becomes one that libpng takes.
  enum class Input { kIndices, kGrayLevels, kRgb, kRgba };
  struct Codec;  // libpng's write and info structures

  PngWriter(ImageSize size, ByteSink sink);
  // The IHDR and the chunks before the image data.
  void Start(int bit_depth, int color_type, const IndexedPalette* palette);
  // Runs `step`, calls of libpng, and raises what went wrong in it: what
  // the write callback raised, or libpng's error.
  template <typename Step>
  void Call(const Step& step);
  [[noreturn]] void RaiseFailure();
  void FlushIfFull();

  friend struct PngCallbacks;  // libpng's, which reach buffer_, error_ and raised_

  ImageSize size_;
  ByteSink sink_;
  std::unique_ptr<Codec> codec_;
  Input input_ = Input::kIndices;
  std::array<uint8_t, 256> levels_{};  // kGrayLevels: each index's sample
  std::vector<uint8_t> row_;           // a row as libpng takes it
  std::string buffer_;                 // bytes not yet handed to the sink
  uint32_t rows_written_ = 0;
  // What went wrong inside libpng: its message, or what a callback raised.
  std::array<char, 200> error_{};
  std::exception_ptr raised_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_PNG_WRITER_H_
