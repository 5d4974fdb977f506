#include "converter/tiff_reader.h"

#include <string>
#include <utility>

#include <tiffio.h>

#include "converter/chunk_layout.h"
#include "converter/conversion_failure.h"
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
  if (ChunksOverlap(ChunkRanges(file_.handle()))) {
    throw ConversionError(ConversionFailure::kDamagedTiff,
                          "strips or tiles that share bytes in " + file_.name());
  }
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
  file_.messages().BeginPass();
  if (mapped_) {
    mapped_->ReadGrayRows(visit);
    return;
  }
  // libtiff must hear of it before it first decodes, as its renderer may
  // have done; and once told, it no longer reports the predictor.
  if (!renderer_ && !undoes_differencing_) {
    undoes_differencing_ = TakeOverDifferencing(file_, page_);
  }
  ReadStoredRows(file_, page_, undoes_differencing_, visit);
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
  renderer_->ReadRows(top, page_.width, pixels);
}

}  // namespace ostrel
