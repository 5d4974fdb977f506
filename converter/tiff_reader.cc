#include "converter/tiff_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <tiffio.h>

#include "converter/chunk_layout.h"
#include "converter/indexed_rows.h"
#include "converter/rgb.h"
#include "converter/sample_mapping.h"
#include "platform/file.h"

namespace ostrel {
namespace {

bool StartsWith(const char* text, std::string_view prefix) {
  return std::strncmp(text, prefix.data(), prefix.size()) == 0;
}

// A CCITT decoder's report of a line it could not decode in full: it fills
// in the rest of the line and resynchronises at the next one. The text goes
// on "at line N of strip M (...)".
const char* DamagedLineOf(const char* text) {
  for (const std::string_view report :
       {"Bad code word ", "Premature EOL ", "Line length mismatch "}) {
    if (StartsWith(text, report)) {
      return text + report.size();
    }
  }
  return nullptr;
}

// Warnings about how the file was written, which lose no pixels: the data
// that follows decodes in full.
bool IsWritingStyleWarning(const char* text) {
  // Old-style JPEG takes the sampling from the JPEG stream when the tag
  // does not fit the page.
  return StartsWith(text, "Deprecated and troublesome old-style JPEG") ||
         StartsWith(text, "Old-style LZW codes") ||
         StartsWith(text, "Subsampling tag not appropriate");
}

// libtiff calls these from C: they must not throw, so they write into fixed
// buffers and allocate nothing. Returning 1 keeps the message off the
// process-wide handler, which would print it on standard error.
void KeepMessage(TiffReader::Messages& messages, char* slot, const char* module, const char* format,
                 va_list arguments) {
  constexpr size_t kCapacity = TiffReader::Messages::kCapacity;
  char text[kCapacity];
  (void)std::vsnprintf(text, kCapacity, format, arguments);
  const char* line = DamagedLineOf(text);
  if (line != nullptr && messages.lines_recoverable) {
    size_t key_length = std::min(std::strcspn(line, "("), sizeof messages.last_damaged_line - 1);
    while (key_length > 0 && line[key_length - 1] == ' ') {
      --key_length;
    }
    if (std::strncmp(messages.last_damaged_line, line, key_length) != 0 ||
        messages.last_damaged_line[key_length] != '\0') {
      std::memcpy(messages.last_damaged_line, line, key_length);
      messages.last_damaged_line[key_length] = '\0';
      ++messages.damaged_lines;
    }
    return;
  }
  if (slot == messages.warning && IsWritingStyleWarning(text)) {
    return;
  }
  if (slot[0] == '\0') {
    int prefix = module == nullptr ? 0 : std::snprintf(slot, kCapacity, "%s: ", module);
    prefix = std::clamp(prefix, 0, static_cast<int>(kCapacity) - 1);
    std::memcpy(slot + prefix, text, std::min(std::strlen(text) + 1, kCapacity - prefix - 1));
    slot[kCapacity - 1] = '\0';
  }
}

int KeepError(TIFF*, void* user_data, const char* module, const char* format, va_list arguments) {
  auto& messages = *static_cast<TiffReader::Messages*>(user_data);
  KeepMessage(messages, messages.error, module, format, arguments);
  return 1;
}

int KeepWarning(TIFF*, void* user_data, const char* module, const char* format, va_list arguments) {
  auto& messages = *static_cast<TiffReader::Messages*>(user_data);
  KeepMessage(messages, messages.warning, module, format, arguments);
  return 1;
}

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
std::unique_ptr<TIFFOpenOptions, OptionsDeleter> OpenOptions(TiffReader::Messages& messages) {
  std::unique_ptr<TIFFOpenOptions, OptionsDeleter> options(TIFFOpenOptionsAlloc());
  if (!options) {
    throw Error(ErrorKind::kOutOfMemory);
  }
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), TiffReader::kMaxLibraryAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), KeepError, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), KeepWarning, &messages);
  return options;
}

// Some writers store 8-bit colormaps although the format says 16 bits;
// libtiff's renderer takes a map with no entry above 255 for one of them,
// and so does this reader.
Palette ColormapOf(const uint16_t* red, const uint16_t* green, const uint16_t* blue, size_t count) {
  bool eight_bit = true;
  for (size_t i = 0; i < count; ++i) {
    eight_bit = eight_bit && red[i] < 256 && green[i] < 256 && blue[i] < 256;
  }
  Palette palette(count);
  for (size_t i = 0; i < count; ++i) {
    palette[i] = eight_bit ? Rgb{static_cast<uint8_t>(red[i]), static_cast<uint8_t>(green[i]),
                                 static_cast<uint8_t>(blue[i])}
                           : Rgb{EightBitsOf(red[i]), EightBitsOf(green[i]), EightBitsOf(blue[i])};
  }
  return palette;
}

// A linear light level, 0 to 1, as an 8-bit sRGB level.
uint8_t SrgbLevel(double linear) {
  if (!(linear > 0)) {
    return 0;
  }
  const double encoded =
      linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(std::min(encoded, 1.0) * 255));
}

// CIE XYZ relative to white D65 (Y of white 1) in sRGB.
Rgb SrgbOfXyz(const double xyz[3]) {
  const double x = xyz[0];
  const double y = xyz[1];
  const double z = xyz[2];
  return Rgb{SrgbLevel(3.2406 * x - 1.5372 * y - 0.4986 * z),
             SrgbLevel(-0.9689 * x + 1.8758 * y + 0.0415 * z),
             SrgbLevel(0.0557 * x - 0.2040 * y + 1.0570 * z)};
}

struct Lab {
  double lightness;  // 0 to 100
  double a;
  double b;
};

// CIELab samples as stored: 8-bit L* of 0 to 255 for 0 to 100 and signed
// a* and b*; 16-bit L* of 0 to 65535 and a* and b* in 256ths.
Lab LabOf(double lightness, double a, double b, int bits) {
  const double half = bits == 8 ? 128 : 32768;
  const auto signed_value = [half](double value) {
    return value >= half ? value - 2 * half : value;
  };
  const double step = bits == 8 ? 1 : 256;
  return Lab{lightness * 100 / (2 * half - 1), signed_value(a) / step, signed_value(b) / step};
}

// Lab taken relative to the display's white, D65, so that neutral stays gray.
void LabToXyz(const Lab& lab, double xyz[3]) {
  constexpr double kDelta = 6.0 / 29;
  const auto inverse = [](double t) {
    return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29);
  };
  const double fy = (lab.lightness + 16) / 116;
  xyz[0] = 0.95047 * inverse(fy + lab.a / 500);
  xyz[1] = inverse(fy);
  xyz[2] = 1.08883 * inverse(fy - lab.b / 200);
}

std::string PageCount(tdir_t count) {
  return std::to_string(count) + (count == 1 ? " page" : " pages");
}

}  // namespace

struct TiffReader::MemoryFile {
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

struct TiffReader::StoredSamples {
  SampleType type;
  uint16_t samples_per_pixel = 1;
  // How the colour samples are read: kGray, kRgb and kCmyk by the scales,
  // the others by their colour spaces' own formulas.
  enum class Space { kGray, kRgb, kCmyk, kLab, kLuminance, kXyz } space = Space::kGray;
  uint16_t color_channels = 1;
  int alpha = -1;  // the alpha sample's index, if any
  bool associated_alpha = false;
  bool separate_planes = false;
  bool min_is_white = false;
  std::optional<SampleRange> declared;  // SMinSampleValue to SMaxSampleValue
  bool scaled = false;
  SampleScale color_scale;
  SampleScale alpha_scale;
  // The decoded band: one scanline, one strip or one row of tiles of each
  // plane, `stride` bytes a row.
  uint32_t band_top = UINT32_MAX;
  uint32_t band_rows = 0;
  size_t stride = 0;
  size_t row_bytes = 0;  // of one plane's row
  uint16_t plane_count = 1;
  TileShape tile_shape{};                    // of a tiled page
  std::vector<std::vector<uint8_t>> planes;  // allocated on first use
  std::vector<uint8_t> tile;
  std::vector<uint8_t> mapped;  // one row of 8-bit gray

  double Sample(const std::vector<std::span<const uint8_t>>& rows, uint32_t x, int sample) const {
    return separate_planes ? ReadSample(rows[sample], x, type)
                           : ReadSample(rows[0], size_t{x} * samples_per_pixel + sample, type);
  }
};

TiffReader::TiffReader(const std::string& path, uint32_t page_number) : path_(path) {
  ReadOnlyFile file =
      WithFailureKind(ConversionFailure::kCannotReadSource, [&] { return ReadOnlyFile(path); });
  OpenFile(std::move(file), path, page_number);
}

TiffReader::TiffReader(ReadOnlyFile file, const std::string& path, uint32_t page_number)
    : path_(path) {
  OpenFile(std::move(file), path, page_number);
}

void TiffReader::OpenFile(ReadOnlyFile file, const std::string& path, uint32_t page_number) {
  const std::string header =
      WithFailureKind(ConversionFailure::kCannotReadSource, [&] { return file.ReadPrefix(4); });
  if (!IsTiffHeader(header)) {
    throw ConversionError(ConversionFailure::kNotTiff, "not a TIFF file: " + path);
  }
  const auto options = OpenOptions(messages_);
  // "m": read(2) instead of a memory map, so that a file truncated while it
  // is read gives a read error, not SIGBUS.
  TIFF* handle = TIFFFdOpenExt(file.descriptor(), path.c_str(), "rm", options.get());
  if (handle != nullptr) {
    file.Release();  // TIFFClose closes it
  }
  Open(handle, page_number);
}

TiffReader::TiffReader(std::span<const uint8_t> bytes, const std::string& name,
                       uint32_t page_number)
    : path_(name), memory_(std::make_unique<MemoryFile>(MemoryFile{bytes})) {
  const std::string_view header(reinterpret_cast<const char*>(bytes.data()),
                                std::min<size_t>(bytes.size(), 4));
  if (!IsTiffHeader(header)) {
    throw ConversionError(ConversionFailure::kNotTiff, "not a TIFF file: " + name);
  }
  const auto options = OpenOptions(messages_);
  Open(TIFFClientOpenExt(name.c_str(), "rm", memory_.get(), MemoryFile::Read, MemoryFile::Write,
                         MemoryFile::Seek, MemoryFile::Close, MemoryFile::Size, MemoryFile::Map,
                         MemoryFile::Unmap, options.get()),
       page_number);
}

void TiffReader::Open(TIFF* handle, uint32_t page_number) {
  tiff_.reset(handle);
  if (!tiff_) {
    Fail(ConversionFailure::kDamagedTiff, "damaged TIFF file " + path_);
  }
  if (page_number > 1) {
    const tdir_t count = TIFFNumberOfDirectories(tiff_.get());
    if (page_number > count) {
      throw ConversionError(ConversionFailure::kNoSuchPage, "page " + std::to_string(page_number) +
                                                                " does not exist: " + path_ +
                                                                " has " + PageCount(count));
    }
    messages_ = Messages{};
    if (TIFFSetDirectory(tiff_.get(), static_cast<tdir_t>(page_number - 1)) == 0) {
      Fail(ConversionFailure::kDamagedTiff,
           "cannot read page " + std::to_string(page_number) + " of " + path_);
    }
  }
  ReadPage();
  if (ChunksOverlap(ChunkRanges(tiff_.get()))) {
    throw ConversionError(ConversionFailure::kDamagedTiff,
                          "strips or tiles that share bytes in " + path_);
  }
}

TiffReader::~TiffReader() = default;

uint32_t TiffReader::CountPages() { return TIFFNumberOfDirectories(tiff_.get()); }

bool TiffReader::NextPage() {
  messages_ = Messages{};
  if (TIFFLastDirectory(tiff_.get()) != 0) {
    return false;
  }
  rgba_.reset();
  stored_.reset();
  undoes_differencing_ = false;
  most_damaged_lines_ = 0;
  if (TIFFReadDirectory(tiff_.get()) == 0) {
    Fail(ConversionFailure::kDamagedTiff, "cannot read the next page of " + path_);
  }
  page_ = TiffPage{};
  ReadPage();
  return true;
}

void TiffReader::TiffCloser::operator()(TIFF* file) const { TIFFClose(file); }

TiffReader::TileShape TiffReader::CheckedTileShape() {
  uint32_t width = 0;
  uint32_t height = 0;
  TIFFGetField(tiff_.get(), TIFFTAG_TILEWIDTH, &width);
  TIFFGetField(tiff_.get(), TIFFTAG_TILELENGTH, &height);
  const tmsize_t size = TIFFTileSize(tiff_.get());
  const tmsize_t row_bytes = TIFFTileRowSize(tiff_.get());
  if (width == 0 || height == 0 || size <= 0 || row_bytes <= 0 || size > kMaxLibraryAllocation ||
      static_cast<uint64_t>(row_bytes) * height > static_cast<uint64_t>(size)) {
    Fail(ConversionFailure::kDamagedTiff, "bad tile size in " + path_);
  }
  return {width, height, static_cast<size_t>(size), static_cast<size_t>(row_bytes)};
}

void TiffReader::Fail(ConversionFailure failure, const std::string& what) {
  std::string description = what;
  const char* message = messages_.error[0] != '\0' ? messages_.error : messages_.warning;
  if (message[0] != '\0') {
    description.append(": ").append(message);
  } else if (messages_.last_damaged_line[0] != '\0') {
    // A fax decoder that ran out of data reports the line it stopped in.
    description.append(": the data breaks off ").append(messages_.last_damaged_line);
  }
  ClearMessages();
  throw ConversionError(failure, std::move(description));
}

void TiffReader::ClearMessages() {
  messages_.error[0] = '\0';
  messages_.warning[0] = '\0';
}

void TiffReader::BeginPass() {
  most_damaged_lines_ = DamagedLines();
  const bool recoverable = messages_.lines_recoverable;
  messages_ = Messages{};
  messages_.lines_recoverable = recoverable;
}

uint32_t TiffReader::DamagedLines() const {
  return std::max(most_damaged_lines_, messages_.damaged_lines);
}

void TiffReader::CheckDecoded(bool ok) {
  // libtiff's decoders report damaged data (a CCITT stream that ends early,
  // a JPEG stream cut short) as warnings, or as errors while still
  // returning success, and fill in the rest: that would be a partial image.
  // Damaged lines of a fax, which its decoder is built to recover from, and
  // warnings about the writer's style are not kept as such.
  if (!ok || messages_.error[0] != '\0' || messages_.warning[0] != '\0') {
    Fail(ConversionFailure::kDamagedTiff, "cannot read the pixels of " + path_);
  }
}

void TiffReader::ReadPage() {
  uint32_t width = 0;
  uint32_t height = 0;
  if (TIFFGetField(tiff_.get(), TIFFTAG_IMAGEWIDTH, &width) == 0 ||
      TIFFGetField(tiff_.get(), TIFFTAG_IMAGELENGTH, &height) == 0 || width == 0 || height == 0) {
    Fail(ConversionFailure::kDamagedTiff, "image without pixels in " + path_);
  }
  uint16_t compression = COMPRESSION_NONE;
  uint16_t bits = 1;
  uint16_t samples = 1;
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t orientation = ORIENTATION_TOPLEFT;
  uint16_t photometric = 0xffff;
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_ORIENTATION, &orientation);
  TIFFGetField(tiff_.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  if (TIFFIsCODECConfigured(compression) == 0) {
    throw ConversionError(
        ConversionFailure::kUnsupportedTiff,
        "unsupported compression scheme " + std::to_string(compression) + " in " + path_);
  }

  messages_.lines_recoverable = compression == COMPRESSION_CCITTFAX3;
  page_.width = width;
  page_.height = height;
  page_.bits_per_sample = bits;
  page_.orientation = orientation >= 1 && orientation <= 8 ? orientation : ORIENTATION_TOPLEFT;
  page_.min_is_white = photometric == PHOTOMETRIC_MINISWHITE;
  float resolution = 0;
  if (TIFFGetField(tiff_.get(), TIFFTAG_XRESOLUTION, &resolution) != 0 && resolution > 0 &&
      std::isfinite(resolution)) {
    page_.x_resolution = resolution;
  }
  if (TIFFGetField(tiff_.get(), TIFFTAG_YRESOLUTION, &resolution) != 0 && resolution > 0 &&
      std::isfinite(resolution)) {
    page_.y_resolution = resolution;
  }
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_RESOLUTIONUNIT, &page_.resolution_unit);
  page_.kind = PageKind::kColor;
  // Old-style JPEG goes through libtiff's renderer, which sets up its
  // decoder for whole strips.
  const bool plain_samples = samples == 1 && compression != COMPRESSION_OJPEG &&
                             (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID);
  const bool gray = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
  uint16_t* red = nullptr;
  uint16_t* green = nullptr;
  uint16_t* blue = nullptr;
  if (plain_samples && gray && bits == 1) {
    page_.kind = PageKind::kBilevel;
  } else if (plain_samples && gray && (bits == 2 || bits == 4 || bits == 8 || bits == 16)) {
    page_.kind = PageKind::kGray;
  } else if (plain_samples && photometric == PHOTOMETRIC_PALETTE &&
             (bits == 1 || bits == 2 || bits == 4 || bits == 8) &&
             TIFFGetField(tiff_.get(), TIFFTAG_COLORMAP, &red, &green, &blue) != 0) {
    page_.kind = PageKind::kPalette;
    page_.colormap = ColormapOf(red, green, blue, size_t{1} << bits);
  } else if (MapsSamplesItself(photometric, compression)) {
    if (stored_->color_channels == 1 && stored_->alpha < 0) {  // gray or luminance
      page_.kind = PageKind::kGray;
      page_.bits_per_sample = 8;
    }
  } else {
    char reason[1024] = "";
    if (TIFFRGBAImageOK(tiff_.get(), reason) == 0) {
      throw ConversionError(ConversionFailure::kUnsupportedTiff,
                            "unsupported TIFF image in " + path_ + ": " + reason);
    }
  }
}

void TiffReader::ReadSampleRows(const std::function<void(std::span<const uint8_t>)>& visit) {
  BeginPass();
  if (stored_) {
    ReadMappedGrayRows(visit);
    return;
  }
  const size_t row_bytes = (static_cast<size_t>(page_.width) * page_.bits_per_sample + 7) / 8;
  // libtiff undoes horizontal differencing of 8-bit samples one byte at a
  // time through memory, each byte waiting for the one stored before it;
  // with the running sum in a register it costs a fraction. libtiff is told
  // there is no predictor before it first decodes, when it sets up its
  // decoder; the RGBA renderer, which would now see the differences, is
  // not used on the page after that.
  uint16_t predictor = PREDICTOR_NONE;
  if (page_.bits_per_sample == 8 && !rgba_ &&
      TIFFGetField(tiff_.get(), TIFFTAG_PREDICTOR, &predictor) != 0 &&
      predictor == PREDICTOR_HORIZONTAL &&
      TIFFSetField(tiff_.get(), TIFFTAG_PREDICTOR, PREDICTOR_NONE) != 0) {
    undoes_differencing_ = true;
  }
  const auto undo_differencing = [this](uint8_t* row, size_t bytes) {
    if (undoes_differencing_) {
      uint8_t sum = 0;
      for (size_t i = 0; i < bytes; ++i) {
        sum = static_cast<uint8_t>(sum + row[i]);
        row[i] = sum;
      }
    }
  };
  if (TIFFIsTiled(tiff_.get()) == 0) {
    const tmsize_t scanline = TIFFScanlineSize(tiff_.get());
    if (scanline <= 0 || static_cast<size_t>(scanline) < row_bytes) {
      Fail(ConversionFailure::kDamagedTiff, "bad scanline size in " + path_);
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(scanline));
    for (uint32_t row = 0; row < page_.height; ++row) {
      CheckDecoded(TIFFReadScanline(tiff_.get(), buffer.data(), row, 0) >= 0);
      undo_differencing(buffer.data(), row_bytes);
      visit(std::span<const uint8_t>(buffer.data(), row_bytes));
    }
    return;
  }

  const TileShape shape = CheckedTileShape();
  const uint32_t tile_width = shape.width;
  const uint32_t tile_height = shape.height;
  const size_t tile_row_bytes = shape.row_bytes;
  if (static_cast<uint64_t>(tile_width) * page_.bits_per_sample % 8 != 0) {
    throw ConversionError(ConversionFailure::kUnsupportedTiff,
                          "tiles that do not end on a byte in " + path_);
  }
  // One row of tiles side by side: its rows are whole image rows.
  const size_t tiles_across = (page_.width + tile_width - 1) / tile_width;
  const size_t stride = tiles_across * tile_row_bytes;
  const uint32_t band_rows = std::min(tile_height, page_.height);
  std::vector<uint8_t> tile(shape.size);
  std::vector<uint8_t> band(stride * band_rows);
  for (uint32_t top = 0; top < page_.height; top += tile_height) {
    const uint32_t rows = std::min(tile_height, page_.height - top);
    for (size_t across = 0; across < tiles_across; ++across) {
      CheckDecoded(TIFFReadTile(tiff_.get(), tile.data(),
                                static_cast<uint32_t>(across * tile_width), top, 0, 0) >= 0);
      for (uint32_t row = 0; row < rows; ++row) {
        // Each row of a tile is differenced from the tile's left edge.
        undo_differencing(tile.data() + row * tile_row_bytes, tile_row_bytes);
        std::memcpy(band.data() + row * stride + across * tile_row_bytes,
                    tile.data() + row * tile_row_bytes, tile_row_bytes);
      }
    }
    for (uint32_t row = 0; row < rows; ++row) {
      visit(std::span<const uint8_t>(band.data() + row * stride, row_bytes));
    }
  }
}

uint32_t TiffReader::RgbaBandRows() const {
  // Bands end where strips or rows of tiles end, so that libtiff decodes each
  // strip or tile once: a band that ended inside a strip would make the next
  // band decode that strip again from its start.
  uint32_t unit = 0;
  if (TIFFIsTiled(tiff_.get()) != 0) {
    TIFFGetField(tiff_.get(), TIFFTAG_TILELENGTH, &unit);
  } else {
    TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_ROWSPERSTRIP, &unit);
  }
  if (unit == 0 || unit >= page_.height) {
    return page_.height;
  }
  constexpr uint32_t kFewestRows = 64;  // fewer, larger calls into libtiff
  const uint32_t units = (kFewestRows + unit - 1) / unit;
  return units >= (page_.height + unit - 1) / unit ? page_.height : units * unit;
}

struct TiffReader::RgbaImage {
  TIFFRGBAImage image{};
  bool begun = false;
  ~RgbaImage() {
    if (begun) {
      TIFFRGBAImageEnd(&image);
    }
  }
};

void TiffReader::ReadRgbaRows(uint32_t top, std::span<uint32_t> pixels) {
  if (top == 0) {
    BeginPass();
  }
  ClearMessages();
  if (stored_) {
    ReadMappedRgbaRows(top, pixels);
    return;
  }
  if (undoes_differencing_) {
    throw ConversionError(ConversionFailure::kInternal,
                          "RGBA rendering after stored rows of " + path_);
  }
  if (!rgba_) {
    char reason[1024] = "";
    auto rgba = std::make_unique<RgbaImage>();
    rgba->begun = TIFFRGBAImageBegin(&rgba->image, tiff_.get(), /*stop_on_error=*/1, reason) != 0;
    if (!rgba->begun) {
      throw ConversionError(ConversionFailure::kUnsupportedTiff,
                            "unsupported TIFF image in " + path_ + ": " + reason);
    }
    // Stored order, row 0 first: orientation is applied later, to indices.
    rgba->image.req_orientation = ORIENTATION_TOPLEFT;
    rgba->image.orientation = ORIENTATION_TOPLEFT;
    rgba_ = std::move(rgba);
    // What setting up the renderer warned about ("Assuming 8-bit colormap")
    // says nothing about the pixels.
    ClearMessages();
  }
  const auto rows = static_cast<uint32_t>(pixels.size() / page_.width);
  rgba_->image.row_offset = static_cast<int>(top);
  rgba_->image.col_offset = 0;
  CheckDecoded(TIFFRGBAImageGet(&rgba_->image, pixels.data(), page_.width, rows) != 0);
}

bool TiffReader::MapsSamplesItself(uint16_t photometric, uint16_t compression) {
  using Space = StoredSamples::Space;
  const bool log_luminance =
      (photometric == PHOTOMETRIC_LOGL || photometric == PHOTOMETRIC_LOGLUV) &&
      (compression == COMPRESSION_SGILOG || compression == COMPRESSION_SGILOG24);
  // SGILog data decoded to floats: Y, or CIE XYZ.
  if (log_luminance && TIFFSetField(tiff_.get(), TIFFTAG_SGILOGDATAFMT, SGILOGDATAFMT_FLOAT) == 0) {
    Fail(ConversionFailure::kUnsupportedTiff, "unsupported SGILog data in " + path_);
  }
  uint16_t samples = 1;
  uint16_t bits = 1;
  uint16_t format = SAMPLEFORMAT_UINT;
  uint16_t planar = PLANARCONFIG_CONTIG;
  uint16_t inkset = INKSET_CMYK;
  uint16_t extra_count = 0;
  uint16_t* extra_kinds = nullptr;
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_SAMPLEFORMAT, &format);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_INKSET, &inkset);
  TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_EXTRASAMPLES, &extra_count, &extra_kinds);
  const bool gray = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
  Space space = Space::kGray;
  if (log_luminance) {
    space = photometric == PHOTOMETRIC_LOGL ? Space::kLuminance : Space::kXyz;
  } else if (photometric == PHOTOMETRIC_CIELAB && (bits == 8 || bits == 16)) {
    space = Space::kLab;
  } else if (photometric == PHOTOMETRIC_RGB) {
    space = Space::kRgb;
  } else if (photometric == PHOTOMETRIC_SEPARATED && inkset == INKSET_CMYK) {
    space = Space::kCmyk;
  } else if (!gray) {
    return false;
  }
  const uint16_t channels = space == Space::kGray || space == Space::kLuminance ? 1
                            : space == Space::kCmyk                             ? 4
                                                                                : 3;
  if (samples < channels || compression == COMPRESSION_JPEG || compression == COMPRESSION_OJPEG) {
    return false;
  }
  // What libtiff's renderer draws exactly stays with it; its CIELab and
  // SGILog colours are tinted (neutral samples do not come out gray).
  const bool unsigned_samples = format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID;
  const bool renderer_depth = channels == 4 ? bits == 8 && samples == 4 : bits == 8 || bits == 16;
  if (unsigned_samples && renderer_depth && space != Space::kLab) {
    return false;
  }
  auto stored = std::make_unique<StoredSamples>();
  stored->type = SampleType{format == SAMPLEFORMAT_INT      ? SampleFormat::kSigned
                            : format == SAMPLEFORMAT_IEEEFP ? SampleFormat::kFloat
                                                            : SampleFormat::kUnsigned,
                            bits};
  if (!IsReadableSampleType(stored->type) ||
      (!unsigned_samples && format != SAMPLEFORMAT_INT && format != SAMPLEFORMAT_IEEEFP)) {
    throw ConversionError(ConversionFailure::kUnsupportedTiff,
                          "unsupported TIFF image in " + path_ + ": " + std::to_string(bits) +
                              "-bit samples of sample format " + std::to_string(format));
  }
  stored->samples_per_pixel = samples;
  stored->color_channels = channels;
  stored->space = space;
  stored->separate_planes = planar == PLANARCONFIG_SEPARATE && samples > 1;
  stored->min_is_white = photometric == PHOTOMETRIC_MINISWHITE;
  // The first extra sample is alpha as libtiff's renderer takes it: marked
  // so, or unspecified beside three colour samples or more.
  if (extra_count > 0 && samples > channels) {
    const uint16_t kind = extra_kinds[0];
    if (kind == EXTRASAMPLE_ASSOCALPHA || kind == EXTRASAMPLE_UNASSALPHA ||
        (kind == EXTRASAMPLE_UNSPECIFIED && samples > 3)) {
      stored->alpha = channels;
      stored->associated_alpha = kind != EXTRASAMPLE_UNASSALPHA;
    }
  }
  double low = 0;
  double high = 0;
  if (TIFFGetField(tiff_.get(), TIFFTAG_SMINSAMPLEVALUE, &low) != 0 &&
      TIFFGetField(tiff_.get(), TIFFTAG_SMAXSAMPLEVALUE, &high) != 0 && std::isfinite(low) &&
      std::isfinite(high) && high > low) {
    stored->declared = SampleRange{low, high, false};
  }

  const uint16_t plane_samples = stored->separate_planes ? 1 : samples;
  stored->row_bytes = (uint64_t{page_.width} * bits * plane_samples + 7) / 8;
  uint32_t band_rows = 1;
  if (TIFFIsTiled(tiff_.get()) != 0) {
    const TileShape shape = CheckedTileShape();
    if (uint64_t{shape.width} * bits * plane_samples != uint64_t{shape.row_bytes} * 8) {
      Fail(ConversionFailure::kDamagedTiff, "bad tile size in " + path_);
    }
    band_rows = shape.height;
    stored->tile_shape = shape;
    stored->stride = (page_.width + shape.width - 1) / shape.width * shape.row_bytes;
  } else {
    if (stored->separate_planes) {
      TIFFGetFieldDefaulted(tiff_.get(), TIFFTAG_ROWSPERSTRIP, &band_rows);
    }
    stored->stride = stored->row_bytes;
    const tmsize_t scanline = TIFFScanlineSize(tiff_.get());
    if (scanline <= 0 || static_cast<size_t>(scanline) < stored->row_bytes) {
      Fail(ConversionFailure::kDamagedTiff, "bad scanline size in " + path_);
    }
  }
  band_rows = std::clamp<uint32_t>(band_rows, 1, page_.height);
  const uint64_t band_bytes = uint64_t{band_rows} * stored->stride;
  stored->plane_count = stored->separate_planes ? samples : 1;
  if (band_bytes * stored->plane_count > kMaxLibraryAllocation) {
    throw ConversionError(
        ConversionFailure::kUnsupportedTiff,
        "strips of more than " + std::to_string(kMaxLibraryAllocation) + " bytes in " + path_);
  }
  stored->band_rows = band_rows;
  stored_ = std::move(stored);
  return true;
}

std::span<const uint8_t> TiffReader::DecodedRow(uint32_t row, uint16_t plane) {
  StoredSamples& stored = *stored_;
  if (stored.planes.empty()) {  // only now: the page's size has been checked
    stored.planes.assign(stored.plane_count,
                         std::vector<uint8_t>(stored.band_rows * stored.stride));
    stored.tile.resize(stored.tile_shape.size);
  }
  const uint32_t top = row / stored.band_rows * stored.band_rows;
  if (stored.band_top != top) {
    stored.band_top = UINT32_MAX;  // until the whole band is in
    const uint32_t rows = std::min(stored.band_rows, page_.height - top);
    for (uint16_t p = 0; p < stored.planes.size(); ++p) {
      uint8_t* band = stored.planes[p].data();
      if (TIFFIsTiled(tiff_.get()) != 0) {
        const size_t tile_row_bytes = stored.tile_shape.row_bytes;
        for (uint32_t left = 0, across = 0; left < page_.width;
             left += stored.tile_shape.width, ++across) {
          CheckDecoded(TIFFReadTile(tiff_.get(), stored.tile.data(), left, top, 0, p) >= 0);
          for (uint32_t r = 0; r < rows; ++r) {
            std::memcpy(band + r * stored.stride + across * tile_row_bytes,
                        stored.tile.data() + r * tile_row_bytes, tile_row_bytes);
          }
        }
      } else if (stored.separate_planes) {
        CheckDecoded(TIFFReadEncodedStrip(tiff_.get(), TIFFComputeStrip(tiff_.get(), top, p), band,
                                          static_cast<tmsize_t>(rows * stored.stride)) >= 0);
      } else {
        // One scanline at a time: a page stored as one strip is never held.
        std::vector<uint8_t>& line = stored.planes[p];
        line.resize(std::max(line.size(), static_cast<size_t>(TIFFScanlineSize(tiff_.get()))));
        CheckDecoded(TIFFReadScanline(tiff_.get(), line.data(), row, 0) >= 0);
      }
    }
    stored.band_top = top;
  }
  return std::span<const uint8_t>(stored.planes[plane])
      .subspan((row - top) * stored.stride, stored.row_bytes);
}

void TiffReader::ChooseScales() {
  StoredSamples& stored = *stored_;
  if (stored.scaled) {
    return;
  }
  SampleRange seen;
  const bool own_formula = stored.space == StoredSamples::Space::kLab ||
                           stored.space == StoredSamples::Space::kLuminance ||
                           stored.space == StoredSamples::Space::kXyz;
  if (!own_formula && SampleScale::NeedsSeenRange(stored.type, stored.declared)) {
    // A first pass over the page for its lowest and highest values.
    std::vector<std::span<const uint8_t>> rows(stored.plane_count);
    for (uint32_t y = 0; y < page_.height; ++y) {
      for (uint16_t p = 0; p < rows.size(); ++p) {
        rows[p] = DecodedRow(y, p);
      }
      for (uint32_t x = 0; x < page_.width; ++x) {
        for (int channel = 0; channel < stored.color_channels; ++channel) {
          seen.Add(stored.Sample(rows, x, channel));
        }
      }
    }
  }
  stored.color_scale = SampleScale(stored.type, stored.declared, seen);
  stored.alpha_scale = SampleScale::ForAlpha(stored.type, stored.declared);
  stored.scaled = true;
}

void TiffReader::ReadMappedGrayRows(const std::function<void(std::span<const uint8_t>)>& visit) {
  ChooseScales();
  StoredSamples& stored = *stored_;
  stored.mapped.resize(page_.width);
  std::vector<std::span<const uint8_t>> rows(stored.plane_count);
  for (uint32_t y = 0; y < page_.height; ++y) {
    rows[0] = DecodedRow(y, 0);
    for (uint32_t x = 0; x < page_.width; ++x) {
      const double value = stored.Sample(rows, x, 0);
      stored.mapped[x] = stored.space == StoredSamples::Space::kLuminance
                             ? SrgbLevel(value)
                             : stored.color_scale.Map(value);
    }
    visit(stored.mapped);
  }
}

void TiffReader::ReadMappedRgbaRows(uint32_t top, std::span<uint32_t> pixels) {
  ChooseScales();
  const StoredSamples& stored = *stored_;
  std::vector<std::span<const uint8_t>> rows(stored.plane_count);
  const size_t row_count = pixels.size() / page_.width;
  for (size_t r = 0; r < row_count; ++r) {
    for (uint16_t p = 0; p < rows.size(); ++p) {
      rows[p] = DecodedRow(top + static_cast<uint32_t>(r), p);
    }
    uint32_t* out = pixels.data() + r * page_.width;
    for (uint32_t x = 0; x < page_.width; ++x) {
      uint8_t value[4] = {};
      for (int channel = 0; channel < stored.color_channels; ++channel) {
        value[channel] = stored.color_scale.Map(stored.Sample(rows, x, channel));
      }
      uint32_t red = value[0];
      uint32_t green = value[0];
      uint32_t blue = value[0];
      if (stored.space == StoredSamples::Space::kLab ||
          stored.space == StoredSamples::Space::kXyz ||
          stored.space == StoredSamples::Space::kLuminance) {
        double xyz[3] = {};
        if (stored.space == StoredSamples::Space::kLab) {
          LabToXyz(LabOf(stored.Sample(rows, x, 0), stored.Sample(rows, x, 1),
                         stored.Sample(rows, x, 2), stored.type.bits),
                   xyz);
        } else {
          for (int channel = 0; channel < stored.color_channels; ++channel) {
            xyz[channel] = stored.Sample(rows, x, channel);
          }
        }
        if (stored.space == StoredSamples::Space::kLuminance) {
          red = green = blue = SrgbLevel(xyz[0]);
        } else {
          const Rgb rgb = SrgbOfXyz(xyz);
          red = rgb.red;
          green = rgb.green;
          blue = rgb.blue;
        }
      } else if (stored.color_channels == 1 && stored.min_is_white) {
        red = green = blue = 255u - value[0];
      } else if (stored.color_channels == 3) {
        green = value[1];
        blue = value[2];
      } else if (stored.color_channels == 4) {
        // As libtiff's renderer turns 8-bit CMYK into RGB.
        const uint32_t white = 255u - value[3];
        red = white * (255u - value[0]) / 255u;
        green = white * (255u - value[1]) / 255u;
        blue = white * (255u - value[2]) / 255u;
      }
      uint32_t alpha = 255;
      if (stored.alpha >= 0) {
        alpha = stored.alpha_scale.Map(stored.Sample(rows, x, stored.alpha));
        if (!stored.associated_alpha) {  // premultiplied, as the renderer does
          red = (red * alpha + 127) / 255;
          green = (green * alpha + 127) / 255;
          blue = (blue * alpha + 127) / 255;
        }
      }
      out[x] = red | green << 8 | blue << 16 | alpha << 24;
    }
  }
}

}  // namespace ostrel
