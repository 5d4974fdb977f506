// The converter's one method: a GIF, PNG or JPEG copy of one page of a TIFF
// file.
#ifndef OSTREL_CONVERTER_IMAGE_CONVERSION_H_
#define OSTREL_CONVERTER_IMAGE_CONVERSION_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "converter/conversion_options.h"
#include "converter/image_sink.h"
#include "converter/row_pipeline.h"
#include "converter/tiff_reader.h"

namespace ostrel {

// A page of this many pixels or more is encoded on a worker thread while
// the main thread decodes it; on a smaller one starting the thread would
// cost about what it saves.
inline constexpr uint64_t kMinPipelinedPixels = 256 << 10;

// A page other than a bilevel one decodes to at most this many bytes for
// each byte its strips or tiles hold, beyond
// ConversionTuning::max_decoded_bytes_at_any_ratio. What a page costs to
// decode, render and write follows from what it decodes to, so a file of
// 1 MB costs at most what 64 MiB does, about 1 CPU-s (bench/cost_bench.py);
// a 191 KB file of 16384 x 16384 colour pixels, 805 MB decoded, took 8.
// Photographs and scans store far more (their codecs reach 2:1 to 30:1); a
// blank fax page of 3000:1 is bilevel, which costs little however large.
inline constexpr uint64_t kMostDecodedBytesPerStoredByte = 64;

// Choices that change or bound the time and memory a conversion takes,
// never its image.
struct ConversionTuning {
  // A page's frame is held between its two passes up to this many pixels
  // (128 MiB of RGBA on a colour page); a larger one is decoded twice
  // instead (and a larger one turned by its orientation and written as
  // RGBA pixels, once for each block of columns).
  uint64_t max_held_pixels = 32 << 20;
  // A colour frame of more than this many bytes of RGBA is held only when
  // it is at most `max_held_bytes_per_stored_byte` times what its page
  // stores, so that a small file that decodes to far more than its size is
  // read twice rather than held (a photograph stores a tenth or more of its
  // RGBA bytes).
  uint64_t min_held_bytes_at_any_ratio = uint64_t{16} << 20;
  uint64_t max_held_bytes_per_stored_byte = 16;
  // A frame turned by its orientation is held up to this many bytes of its
  // stored rows (a bilevel page of 2^28 pixels, packed one bit a pixel,
  // fits), and read again in parts beyond it.
  uint64_t max_turned_bytes = 36 << 20;
  uint64_t min_pipelined_pixels = kMinPipelinedPixels;
  size_t pipeline_block_bytes = RowPipeline::kBlockBytes;
  // Pages that decode to at most this many bytes are converted whatever
  // their ratio to the bytes stored (see kMostDecodedBytesPerStoredByte).
  uint64_t max_decoded_bytes_at_any_ratio = uint64_t{64} << 20;
};

// Whether `parameters` ask for a part of the page, a size, a mirror image,
// grays, black and white or stretched pixels: a region of the page's pixel
// grid (see PlanRegion), which the conversion reads and averages alone.
bool AsksForRegion(const ConversionOptions& parameters);

// Checks the size of `reader`'s page against `parameters`, then writes it in
// `parameters.format` (a GIF89a, a PNG or a JPEG) into `sink`, which a
// worker thread may call. Raises the ConversionFailure kinds, or out of
// memory.
void ConvertPage(TiffReader& reader, const ConversionOptions& parameters, const ByteSink& sink,
                 const ConversionTuning& tuning = {});

// Writes `parameters.dest` as a rendering of page `parameters.page` of
// `parameters.source` in `parameters.format`. The image appears complete or
// not at all; after a failure neither it nor a temporary file is left, and
// an earlier file at `dest` is gone too; an image that would take more than
// `parameters.max_image_bytes` (when not 0) is refused as kImageTooLarge
// once its bytes pass them, never written beyond them. Raises the
// ConversionFailure kinds, or out of memory.
// Returns a note for standard error, empty when there is none: how many
// damaged lines of a fax were filled in.
std::string ConvertImage(const ConversionOptions& parameters, const ConversionTuning& tuning = {});

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_IMAGE_CONVERSION_H_
