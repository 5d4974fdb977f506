// Rows of indices (or of any bytes, such as RGBA pixels) handed to another
// sink on a worker thread, so that what that sink does (encoding, writing
// the image) runs beside what produces the rows (decoding, mapping colours).
#ifndef OSTREL_CONVERTER_ROW_PIPELINE_H_
#define OSTREL_CONVERTER_ROW_PIPELINE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "converter/indexed_rows.h"
#include "converter/worker_channel.h"

namespace ostrel {

class RowPipeline : public IndexedRowSink {
 public:
  // Rows travel in a ring of kBlocks blocks of some kBlockBytes each: the
  // producer fills one while the worker drains another, and the memory
  // stays the same whatever the image's size. A producer that finds the
  // ring full sleeps until half of it is free, so that a faster producer
  // costs the worker one wake-up per half a ring, not one per block.
  static constexpr size_t kBlocks = 8;
  static constexpr size_t kBlockBytes = size_t{64} << 10;

  // Starts the worker, which passes rows of `width` indices on to `next`,
  // in order. A block holds as many rows as fit into `block_bytes`, at
  // least one. Raises kOutOfMemory when no thread can be started.
  RowPipeline(uint32_t width, IndexedRowSink& next, size_t block_bytes = kBlockBytes);
  // Stops the worker and waits for it. Without Finish, rows it has not yet
  // passed on are dropped: the conversion has failed on this thread.
  ~RowPipeline() override = default;
  RowPipeline(const RowPipeline&) = delete;
  RowPipeline& operator=(const RowPipeline&) = delete;

  // Copies the first `width` indices of `indices`; waits while the ring is
  // full. Raises what `next` raised on the worker, once it has.
  void PutRow(std::span<const uint8_t> indices) override;

  // Hands over the rows put so far and waits until the worker has passed
  // them all on. Raises what `next` raised.
  void Finish();

 private:
  void PassOnBlocks();
  void HandOver();

  const size_t width_;
  const size_t rows_per_block_;
  IndexedRowSink& next_;
  // kBlocks blocks of rows_per_block_ rows, left uninitialized: the pages
  // of a small image's unused blocks are never touched.
  std::unique_ptr<uint8_t[]> blocks_;

  // The producer's own: the block being filled, counted from the first, and
  // the rows in it so far.
  size_t filling_ = 0;
  size_t rows_filled_ = 0;

  // Blocks handed over through channel_ and not yet handed back are the
  // worker's, with their entries here: the producer writes an entry before
  // it hands its block over, the worker reads it before handing it back.
  size_t rows_in_block_[kBlocks] = {};

  WorkerChannel channel_;  // last: its worker stops first
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_ROW_PIPELINE_H_
