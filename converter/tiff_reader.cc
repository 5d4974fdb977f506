#include "converter/tiff_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <tiffio.h>

#include "converter/chunk_layout.h"
#include "platform/file.h"

namespace ostrel {
namespace {

// libtiff calls this from C: it must not throw, so it writes into a fixed
// buffer and allocates nothing. Returning 1 keeps the message off the
// process-wide handler, which would print it on standard error.
int KeepFirstMessage(TIFF*, void* user_data, const char* module, const char* format,
                     va_list arguments) {
  char* slot = static_cast<char*>(user_data);
  constexpr size_t kCapacity = TiffReader::Messages::kCapacity;
  if (slot[0] == '\0') {
    int prefix = module == nullptr ? 0 : std::snprintf(slot, kCapacity, "%s: ", module);
    prefix = std::clamp(prefix, 0, static_cast<int>(kCapacity) - 1);
    (void)std::vsnprintf(slot + prefix, kCapacity - static_cast<size_t>(prefix), format, arguments);
  }
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
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), KeepFirstMessage, messages.error);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), KeepFirstMessage, messages.warning);
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
  undoes_differencing_ = false;
  if (TIFFReadDirectory(tiff_.get()) == 0) {
    Fail(ConversionFailure::kDamagedTiff, "cannot read the next page of " + path_);
  }
  page_ = TiffPage{};
  ReadPage();
  return true;
}

void TiffReader::TiffCloser::operator()(TIFF* file) const { TIFFClose(file); }

void TiffReader::Fail(ConversionFailure failure, const std::string& what) {
  std::string description = what;
  const char* message = messages_.error[0] != '\0' ? messages_.error : messages_.warning;
  if (message[0] != '\0') {
    description.append(": ").append(message);
  }
  messages_ = Messages{};
  throw ConversionError(failure, std::move(description));
}

void TiffReader::CheckDecoded(bool ok) {
  // libtiff's decoders report damaged data (a CCITT stream that ends early,
  // a JPEG stream cut short) as warnings, or as errors while still
  // returning success, and fill in the rest: that would be a partial image.
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
  const bool plain_samples =
      samples == 1 && (format == SAMPLEFORMAT_UINT || format == SAMPLEFORMAT_VOID);
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
  } else {
    char reason[1024] = "";
    if (TIFFRGBAImageOK(tiff_.get(), reason) == 0) {
      throw ConversionError(ConversionFailure::kUnsupportedTiff,
                            "unsupported TIFF image in " + path_ + ": " + reason);
    }
  }
}

void TiffReader::ReadSampleRows(const std::function<void(std::span<const uint8_t>)>& visit) {
  const size_t row_bytes = (static_cast<size_t>(page_.width) * page_.bits_per_sample + 7) / 8;
  messages_ = Messages{};
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

  uint32_t tile_width = 0;
  uint32_t tile_height = 0;
  TIFFGetField(tiff_.get(), TIFFTAG_TILEWIDTH, &tile_width);
  TIFFGetField(tiff_.get(), TIFFTAG_TILELENGTH, &tile_height);
  const tmsize_t tile_size = TIFFTileSize(tiff_.get());
  const tmsize_t tile_row_bytes = TIFFTileRowSize(tiff_.get());
  if (tile_width == 0 || tile_height == 0 || tile_size <= 0 || tile_row_bytes <= 0 ||
      tile_size > kMaxLibraryAllocation ||
      static_cast<uint64_t>(tile_row_bytes) * tile_height > static_cast<uint64_t>(tile_size)) {
    Fail(ConversionFailure::kDamagedTiff, "bad tile size in " + path_);
  }
  if (static_cast<uint64_t>(tile_width) * page_.bits_per_sample % 8 != 0) {
    throw ConversionError(ConversionFailure::kUnsupportedTiff,
                          "tiles that do not end on a byte in " + path_);
  }
  // One row of tiles side by side: its rows are whole image rows.
  const size_t tiles_across = (page_.width + tile_width - 1) / tile_width;
  const size_t stride = tiles_across * static_cast<size_t>(tile_row_bytes);
  const uint32_t band_rows = std::min(tile_height, page_.height);
  std::vector<uint8_t> tile(static_cast<size_t>(tile_size));
  std::vector<uint8_t> band(stride * band_rows);
  for (uint32_t top = 0; top < page_.height; top += tile_height) {
    const uint32_t rows = std::min(tile_height, page_.height - top);
    for (size_t across = 0; across < tiles_across; ++across) {
      CheckDecoded(TIFFReadTile(tiff_.get(), tile.data(),
                                static_cast<uint32_t>(across * tile_width), top, 0, 0) >= 0);
      for (uint32_t row = 0; row < rows; ++row) {
        // Each row of a tile is differenced from the tile's left edge.
        undo_differencing(tile.data() + row * tile_row_bytes, static_cast<size_t>(tile_row_bytes));
        std::memcpy(band.data() + row * stride + across * tile_row_bytes,
                    tile.data() + row * tile_row_bytes, static_cast<size_t>(tile_row_bytes));
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
  messages_ = Messages{};
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
    messages_ = Messages{};
  }
  const auto rows = static_cast<uint32_t>(pixels.size() / page_.width);
  rgba_->image.row_offset = static_cast<int>(top);
  rgba_->image.col_offset = 0;
  CheckDecoded(TIFFRGBAImageGet(&rgba_->image, pixels.data(), page_.width, rows) != 0);
}

}  // namespace ostrel
