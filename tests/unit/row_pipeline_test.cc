#include "converter/row_pipeline.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <new>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "converter/conversion_failure.h"
#include "platform/error.h"

namespace ostrel {
namespace {

using Rows = std::vector<std::vector<uint8_t>>;

// Keeps the rows it gets, on the worker; read once the worker has ended.
// `before_row` runs first for each row, and may sleep or raise.
struct RecordingSink : IndexedRowSink {
  void PutRow(std::span<const uint8_t> indices) override {
    if (before_row) {
      before_row(rows.size());
    }
    rows.emplace_back(indices.begin(), indices.end());
  }
  std::function<void(size_t row)> before_row;
  Rows rows;
};

Rows Pattern(size_t width, size_t count) {
  Rows rows(count, std::vector<uint8_t>(width));
  for (size_t y = 0; y < count; ++y) {
    for (size_t x = 0; x < width; ++x) {
      rows[y][x] = static_cast<uint8_t>(y * 31 + x * 7);
    }
  }
  return rows;
}

// Puts `rows` from one buffer, longer than a row and overwritten after each.
void PutAll(RowPipeline& pipeline, const Rows& rows) {
  std::vector<uint8_t> buffer;
  for (const std::vector<uint8_t>& row : rows) {
    buffer = row;
    buffer.insert(buffer.end(), 3, 0xee);
    pipeline.PutRow(buffer);
    std::fill(buffer.begin(), buffer.end(), 0xdd);
  }
}

TEST(RowPipelineTest, RowsArriveWholeAndInOrderWhateverTheBlocks) {
  const struct {
    uint32_t width;
    size_t rows;
    size_t block_bytes;  // 15: 3 rows of 5, and 24 rows fill the ring
    bool slow_sink;      // the producer finds the ring full and waits
  } cases[] = {{5, 0, 15, false},  {5, 4, 15, false}, {5, 25, 15, false},
               {5, 100, 15, true}, {20, 30, 7, true}, {1, 300000, RowPipeline::kBlockBytes, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " wide, " << c.rows << " rows, blocks of "
                                      << c.block_bytes << (c.slow_sink ? ", slow" : ""));
    RecordingSink sink;
    if (c.slow_sink) {
      sink.before_row = [](size_t row) {
        std::this_thread::sleep_for(std::chrono::microseconds(row % 5 == 0 ? 1000 : 0));
      };
    }
    RowPipeline pipeline(c.width, sink, c.block_bytes);
    PutAll(pipeline, Pattern(c.width, c.rows));
    pipeline.Finish();
    EXPECT_EQ(sink.rows, Pattern(c.width, c.rows));
  }
}

TEST(RowPipelineTest, WhatTheNextSinkRaisesOnTheWorkerIsRaisedToTheProducer) {
  const struct {
    size_t rows;
    size_t failing_row;
    bool raised_by_finish;  // else by PutRow, waiting for a block the worker never frees
  } cases[] = {{100, 0, false}, {100, 40, false}, {24, 23, true}, {1, 0, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "row " << c.failing_row << " of " << c.rows);
    RecordingSink sink;
    sink.before_row = [&](size_t row) {
      if (row == c.failing_row) {
        throw ConversionError(ConversionFailure::kCannotWriteDestination, "write: No space");
      }
    };
    bool raised_by_finish = false;
    try {
      RowPipeline pipeline(5, sink, 15);
      PutAll(pipeline, Pattern(5, c.rows));
      raised_by_finish = true;
      pipeline.Finish();
      ADD_FAILURE() << "nothing raised";
    } catch (const Error& error) {
      EXPECT_EQ(error.code(), static_cast<int32_t>(ConversionFailure::kCannotWriteDestination));
      EXPECT_EQ(error.description(), "write: No space");
    }
    EXPECT_EQ(raised_by_finish, c.raised_by_finish);
    EXPECT_EQ(sink.rows, Pattern(5, c.failing_row));
  }
  RecordingSink sink;
  sink.before_row = [](size_t) { throw std::bad_alloc(); };
  RowPipeline pipeline(5, sink, 15);
  PutAll(pipeline, Pattern(5, 3));
  EXPECT_THROW(pipeline.Finish(), std::bad_alloc);
}

}  // namespace
}  // namespace ostrel
