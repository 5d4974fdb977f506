#include "converter/tiff_reader.h"

#include <string>
#include <utility>
#include <vector>

#include <tiffio.h>

#include "converter/chunk_layout.h"
#include "converter/conversion_failure.h"
#include "converter/packed_columns.h"
#include "converter/page_classification.h"
#include "converter/stored_rows.h"

namespace ostrel {
namespace {

std::string PageCount(tdir_t count) {
  return std::to_string(count) + (count == 1 ? " page" : " pages");
}

}  // namespace

TiffReader::TiffReader(TiffFile file, uint32_t page_number) : file_(std::move(file)) {
  if (page_number > 1) {
    const tdir_t count = TIFFNumberOfDirectories(file_.handle());
    if (page_number > count) {
      throw ConversionError(ConversionFailure::kNoSuchPage, "page " + std::to_string(page_number) +
                                                                " does not exist: " + file_.name() +
                                                                " has " + PageCount(count));
    }
    file_.messages().Reset();
    if (TIFFSetDirectory(file_.handle(), static_cast<tdir_t>(page_number - 1)) == 0) {
      file_.Fail(ConversionFailure::kDamagedTiff,
                 "cannot read page " + std::to_string(page_number) + " of " + file_.name());
    }
  }
  ReadPage();
  TIFF* const handle = file_.handle();
  const std::vector<ByteRange> chunks = ChunkRanges(handle);
  // A classic TIFF's header is 8 bytes, a BigTIFF's 16.
  if (ChunkInHeader(chunks, TIFFIsBigTIFF(handle) != 0 ? 16 : 8)) {
    throw ConversionError(ConversionFailure::kDamagedTiff,
                          "strips or tiles that start inside the header of " + file_.name());
  }
  if (ChunksOverlap(chunks)) {
    throw ConversionError(ConversionFailure::kDamagedTiff,
                          "strips or tiles that share bytes in " + file_.name());
  }
  stored_bytes_ = StoredBytes(chunks, TIFFGetSizeProc(handle)(TIFFClientdata(handle)));
  decoded_bytes_ = DecodedBytes(handle);
}

TiffReader::~TiffReader() = default;

uint32_t TiffReader::CountPages() { return TIFFNumberOfDirectories(file_.handle()); }

bool TiffReader::NextPage() {
  file_.messages().Reset();
  if (TIFFLastDirectory(file_.handle()) != 0) {
    return false;
  }
  renderer_.reset();
  mapped_.reset();
  undoes_differencing_ = false;
  if (TIFFReadDirectory(file_.handle()) == 0) {
    file_.Fail(ConversionFailure::kDamagedTiff, "cannot read the next page of " + file_.name());
  }
  page_ = TiffPage{};
  ReadPage();
  return true;
}

void TiffReader::ReadPage() {
  ClassifiedPage classified = ClassifyPage(file_);
  page_ = std::move(classified.page);
  mapped_ = std::move(classified.mapped);
}

uint32_t TiffReader::DamagedLines() const { return file_.messages().DamagedLines(); }

void TiffReader::ReadSampleRows(const std::function<void(std::span<const uint8_t>)>& visit) {
  ReadSampleRows(PixelRect{0, 0, page_.width, page_.height}, visit);
}

void TiffReader::ReadSampleRows(const PixelRect& window,
                                const std::function<void(std::span<const uint8_t>)>& visit) {
  file_.messages().BeginPass();
  if (mapped_) {
    if (window == PixelRect{0, 0, page_.width, page_.height}) {
      mapped_->ReadGrayRows(visit);
      return;
    }
    uint32_t row = 0;
    std::vector<uint8_t> cropped;
    mapped_->ReadGrayRows([&](std::span<const uint8_t> gray) {
      if (row >= window.y && row < window.y + window.height) {
        visit(PackedColumns(gray, 8, window.x, window.width, cropped));
      }
      ++row;
    });
    return;
  }
  // libtiff must hear of it before it first decodes, as its renderer may
  // have done; and once told, it no longer reports the predictor.
  if (!renderer_ && !undoes_differencing_) {
    undoes_differencing_ = TakeOverDifferencing(file_, page_);
  }
  ReadStoredRows(file_, page_, undoes_differencing_, window, visit);
}

uint32_t TiffReader::RgbaBandRows() const {
  return ChunkAlignedBandRows(file_.handle(), page_.height);
}

void TiffReader::ReadRgbaRows(uint32_t top, std::span<uint32_t> pixels) {
  if (top == 0) {
    file_.messages().BeginPass();
  }
  file_.messages().ClearFirst();
  if (mapped_) {
    mapped_->ReadRgbaRows(top, pixels);
    return;
  }
  if (undoes_differencing_) {
    throw ConversionError(ConversionFailure::kInternal,
                          "RGBA rendering after stored rows of " + file_.name());
  }
  if (!renderer_) {
    renderer_ = std::make_unique<RgbaRenderer>(file_);
  }
  renderer_->ReadRows(top, 0, page_.width, pixels);
}

void TiffReader::ReadRgbaWindow(const PixelRect& window,
                                const std::function<void(std::span<const uint32_t>)>& visit) {
  file_.messages().BeginPass();
  if (undoes_differencing_ && !mapped_) {
    throw ConversionError(ConversionFailure::kInternal,
                          "RGBA rendering after stored rows of " + file_.name());
  }
  if (!mapped_ && !renderer_) {
    renderer_ = std::make_unique<RgbaRenderer>(file_);
  }
  const uint32_t band_rows = RgbaBandRows();
  // A page the reader maps is rendered whole across, then cut.
  const uint32_t read_width = mapped_ ? page_.width : window.width;
  std::vector<uint32_t> band(size_t{read_width} * std::min(band_rows, window.height));
  const uint32_t bottom = window.y + window.height;
  for (uint32_t top = window.y; top < bottom;) {
    // To the end of the band that holds `top`, so that each strip or row of
    // tiles is decoded once.
    const uint32_t rows = std::min(band_rows - top % band_rows, bottom - top);
    const std::span<uint32_t> pixels = std::span<uint32_t>(band).first(size_t{rows} * read_width);
    file_.messages().ClearFirst();
    if (mapped_) {
      mapped_->ReadRgbaRows(top, pixels);
    } else {
      renderer_->ReadRows(top, window.x, window.width, pixels);
    }
    const uint32_t left = mapped_ ? window.x : 0;
    for (uint32_t row = 0; row < rows; ++row) {
      visit(pixels.subspan(size_t{row} * read_width + left, window.width));
    }
    top += rows;
  }
}

}  // namespace ostrel
