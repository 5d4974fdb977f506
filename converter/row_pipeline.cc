#include "converter/row_pipeline.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace ostrel {

RowPipeline::RowPipeline(uint32_t width, IndexedRowSink& next, size_t block_bytes)
    : width_(width),
      rows_per_block_(std::max<size_t>(1, block_bytes / std::max<size_t>(1, width))),
      next_(next),
      blocks_(std::make_unique_for_overwrite<uint8_t[]>(kBlocks * rows_per_block_ * width_)) {
  channel_.Start([this] { PassOnBlocks(); });
}

void RowPipeline::PutRow(std::span<const uint8_t> indices) {
  if (rows_filled_ == 0) {
    channel_.WaitForRoom(kBlocks, kBlocks / 2);
  }
  const size_t block = filling_ % kBlocks;
  std::memcpy(blocks_.get() + (block * rows_per_block_ + rows_filled_) * width_, indices.data(),
              width_);
  if (++rows_filled_ == rows_per_block_) {
    HandOver();
  }
}

void RowPipeline::Finish() {
  if (rows_filled_ > 0) {
    HandOver();
  }
  channel_.Finish();
}

void RowPipeline::HandOver() {
  rows_in_block_[filling_ % kBlocks] = rows_filled_;
  channel_.HandOver(++filling_);
  rows_filled_ = 0;
}

void RowPipeline::PassOnBlocks() {
  for (size_t taken = 0; channel_.TakeWork(taken); ++taken) {
    // The producer leaves this block alone until it is handed back.
    const size_t rows = rows_in_block_[taken % kBlocks];
    const uint8_t* row = blocks_.get() + taken % kBlocks * rows_per_block_ * width_;
    for (size_t i = 0; i < rows; ++i, row += width_) {
      next_.PutRow(std::span<const uint8_t>(row, width_));
    }
    channel_.HandBack(taken + 1);
  }
}

}  // namespace ostrel
