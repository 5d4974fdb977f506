#include "converter/row_pipeline.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "converter/conversion_failure.h"

namespace ostrel {

RowPipeline::RowPipeline(uint32_t width, IndexedRowSink& next, size_t block_bytes)
    : width_(width),
      rows_per_block_(std::max<size_t>(1, block_bytes / std::max<size_t>(1, width))),
      next_(next),
      blocks_(std::make_unique_for_overwrite<uint8_t[]>(kBlocks * rows_per_block_ * width_)) {
  WithFailureKind(ConversionFailure::kOutOfMemory, [&] { worker_.emplace([this] { Work(); }); });
}

RowPipeline::~RowPipeline() {
  if (worker_) {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    work_ready_.notify_one();
    worker_.reset();
  }
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
  {
    const std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  work_ready_.notify_one();
  worker_.reset();
  if (failure_) {
    std::rethrow_exception(failure_);
  }
}

void RowPipeline::WaitForFreeBlock() {
  std::unique_lock lock(mutex_);
  if (filling_ - drained_ == kBlocks) {
    producer_waiting_ = true;
    block_free_.wait(lock, [this] { return failure_ || filling_ - drained_ <= kBlocks / 2; });
    producer_waiting_ = false;
  }
  if (failure_) {
    std::rethrow_exception(failure_);
  }
}

void RowPipeline::HandOver() {
  {
    const std::lock_guard lock(mutex_);
    rows_in_block_[filling_ % kBlocks] = rows_filled_;
    handed_over_ = ++filling_;
  }
  work_ready_.notify_one();
  rows_filled_ = 0;
}

void RowPipeline::Work() {
  try {
    PassOnBlocks();
  } catch (...) {  // carried to the producer, which raises it on its own thread
    {
      const std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
    }
    block_free_.notify_one();
  }
}

void RowPipeline::PassOnBlocks() {
  for (size_t taken = 0;; ++taken) {
    size_t rows = 0;
    {
      std::unique_lock lock(mutex_);
      work_ready_.wait(lock, [&] { return stopping_ || finishing_ || handed_over_ > taken; });
      if (stopping_ || handed_over_ == taken) {
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
      const std::lock_guard lock(mutex_);
      drained_ = taken + 1;
      wake = producer_waiting_ && handed_over_ - drained_ <= kBlocks / 2;
    }
    if (wake) {
      block_free_.notify_one();
    }
  }
}

}  // namespace ostrel
