// Fuzz target: a TIFF file held in memory converted to a GIF, PNG or JPEG,
// through the same reader (libtiff's TIFFClientOpen, its allocation cap)
// and conversion as the converter uses. Whatever the bytes, the conversion
// ends in an image or in one of the converter's own failures; the image
// starts and ends as its format says. The pixel limit is kept small so that
// each input runs in milliseconds.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "converter/conversion_failure.h"
#include "converter/conversion_options.h"
#include "converter/image_conversion.h"
#include "converter/tiff_file.h"
#include "converter/tiff_reader.h"
#include "platform/error.h"

namespace {

bool IsConversionFailure(int32_t number) {
  using ostrel::ConversionFailure;
  for (const ConversionFailure failure :
       {ConversionFailure::kNotTiff, ConversionFailure::kDamagedTiff,
        ConversionFailure::kUnsupportedTiff, ConversionFailure::kNoSuchPage,
        ConversionFailure::kImageTooLarge, ConversionFailure::kOutOfMemory}) {
    if (number == static_cast<int32_t>(failure)) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ostrel::ConversionOptions parameters;
  parameters.source = "fuzz.tif";
  parameters.dest = "fuzz.gif";
  parameters.max_pixels = 1 << 22;
  // The input's length chooses a box and a turn, so that reduction and
  // turning see the same files as plain conversion.
  parameters.box_width = size % 3 == 0 ? 0 : static_cast<uint32_t>(size % 97 + 1);
  parameters.rotate = static_cast<uint16_t>(size % 4 * 90);
  const ostrel::OutputFormat formats[] = {ostrel::OutputFormat::kGif, ostrel::OutputFormat::kPng,
                                          ostrel::OutputFormat::kJpeg};
  parameters.format = formats[size / 4 % 3];
  std::string image;
  try {
    ostrel::TiffReader reader(
        ostrel::TiffFile::FromMemory(std::span<const uint8_t>(data, size), parameters.source), 1);
    ostrel::ConvertPage(reader, parameters,
                        [&image](std::string_view bytes) { image.append(bytes); },
                        {.max_held_pixels = 1 << 20});
  } catch (const ostrel::Error& error) {  // a file the converter refuses, as it may
    if (error.source() != ostrel::ErrorSource::kConverterStatus ||
        !IsConversionFailure(error.code())) {
      std::abort();
    }
    return 0;
  }
  const bool whole =
      parameters.format == ostrel::OutputFormat::kGif
          ? image.starts_with("GIF89a") && image.ends_with(";")
      : parameters.format == ostrel::OutputFormat::kPng
          ? image.starts_with("\x89PNG\r\n\x1a\n") && image.ends_with("IEND\xae\x42\x60\x82")
          : image.starts_with("\xff\xd8") && image.ends_with("\xff\xd9");
  if (!whole) {
    std::abort();
  }
  return 0;
}
