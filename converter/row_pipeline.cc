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
  handoff_.Start([this] { PassOnBlocks(); }, [this] { block_free_.notify_one(); });
}

void RowPipeline::PutRow(std::span<const uint8_t> indices) {
  if (rows_filled_ == 0) {
    WaitForFreeBlock();
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
  handoff_.Finish();
}

void RowPipeline::WaitForFreeBlock() {
  std::unique_lock lock(handoff_.mutex);
  if (filling_ - drained_ == kBlocks) {
    producer_waiting_ = true;
    block_free_.wait(lock,
                     [this] { return handoff_.failure || filling_ - drained_ <= kBlocks / 2; });
    producer_waiting_ = false;
  }
  if (handoff_.failure) {
    std::rethrow_exception(handoff_.failure);
  }
}

void RowPipeline::HandOver() {
  {
    const std::lock_guard lock(handoff_.mutex);
    rows_in_block_[filling_ % kBlocks] = rows_filled_;
    handed_over_ = ++filling_;
  }
  handoff_.work_ready.notify_one();
  rows_filled_ = 0;
}

void RowPipeline::PassOnBlocks() {
  for (size_t taken = 0;; ++taken) {
    size_t rows = 0;
    {
      std::unique_lock lock(handoff_.mutex);
      handoff_.work_ready.wait(
          lock, [&] { return handoff_.stopping || handoff_.finishing || handed_over_ > taken; });
      if (handoff_.stopping || handed_over_ == taken) {
        return;
      }
      rows = rows_in_block_[taken % kBlocks];
    }
    // The producer leaves this block alone until drained_ passes it.
    const uint8_t* row = blocks_.get() + taken % kBlocks * rows_per_block_ * width_;
    for (size_t i = 0; i < rows; ++i, row += width_) {
      next_.PutRow(std::span<const uint8_t>(row, width_));
    }
    bool wake = false;
    {
      const std::lock_guard lock(handoff_.mutex);
      drained_ = taken + 1;
      wake = producer_waiting_ && handed_over_ - drained_ <= kBlocks / 2;
    }
    if (wake) {
      block_free_.notify_one();
    }
  }
}

}  // namespace ostrel
