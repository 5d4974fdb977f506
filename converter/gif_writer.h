// Writes one GIF89a image, row by row, with our own LZW encoder.
#ifndef OSTREL_CONVERTER_GIF_WRITER_H_
#define OSTREL_CONVERTER_GIF_WRITER_H_

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "converter/image_sink.h"
#include "converter/image_size.h"
#include "converter/indexed_rows.h"
#include "converter/lzw_encoder.h"

namespace ostrel {

class GifWriter : public ImageWriter {
 public:
  // Takes the GIF's bytes in order, in chunks of some 64 KiB.
  using ByteSink = ::ostrel::ByteSink;

  // Starts the GIF: header, global colour table (the palette padded with
  // black to a power of two, at least 2 entries), a graphics control
  // extension when the palette has a transparent entry, image descriptor.
  // Raises what `sink` raises.
  GifWriter(ImageSize size, const IndexedPalette& palette, ByteSink sink);
  GifWriter(const GifWriter&) = delete;
  GifWriter& operator=(const GifWriter&) = delete;

  // One row of `size.width` indices into the palette; bits beyond the colour
  // table's size are ignored. Raises what the sink raises.
  void PutRow(std::span<const uint8_t> indices) override;

  // Writes the trailer and hands the last bytes to the sink. Raises like
  // PutRow, and kInternal when fewer rows came than the height.
  void Finish() override;

 private:
  void FlushIfFull();

  ImageSize size_;
  ByteSink sink_;
  std::string buffer_;  // bytes not yet handed to the sink
  LzwEncoder encoder_;
  uint32_t rows_written_ = 0;
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_GIF_WRITER_H_
