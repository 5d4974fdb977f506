// Writes one GIF89a image through giflib, row by row.
#ifndef OSTREL_CONVERTER_GIF_WRITER_H_
#define OSTREL_CONVERTER_GIF_WRITER_H_

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "converter/indexed_rows.h"
#include "converter/orientation.h"

struct GifFileType;

namespace ostrel {

class GifWriter : public IndexedRowSink {
 public:
  // Takes the GIF's bytes in order, in chunks of some 64 KiB.
  using ByteSink = std::function<void(std::string_view)>;

  // Starts the GIF: header, global colour table (the palette padded with
  // black to a power of two, at least 2 entries), a graphics control
  // extension when the palette has a transparent entry, image descriptor.
  // Raises what `sink` raises, an out-of-memory error, or kInternal for any
  // other giflib failure.
  GifWriter(ImageSize size, const IndexedPalette& palette, ByteSink sink);
  ~GifWriter() override;
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // One row of `size.width` indices into the palette. Raises like the
  // constructor.
  void PutRow(std::span<const uint8_t> indices) override;

  // Writes the trailer and hands the last bytes to the sink. Raises like the
  // constructor, and kInternal when fewer rows came than the height.
  void Finish();

 private:
  struct GifCloser {
    void operator()(GifFileType* gif) const;
  };
  static int Output(GifFileType* gif, const uint8_t* bytes, int count);
  // Raises on GIF_ERROR: what the sink raised, else giflib's error.
  void Check(int result);
  [[noreturn]] void Raise(int error_code);
  void Flush();

  ImageSize size_;
  ByteSink sink_;
  std::string buffer_;
  std::exception_ptr sink_failure_;  // what the sink raised inside a giflib call
  std::vector<uint8_t> line_;
  uint32_t rows_written_ = 0;
  // Last, so that it is closed first: closing writes through Output.
  std::unique_ptr<GifFileType, GifCloser> gif_;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_GIF_WRITER_H_
