#include "converter/orientation.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include <gtest/gtest.h>

#include "converter/image_size.h"
#include "converter/oriented_frame.h"

namespace ostrel {
namespace {

using Rows = std::vector<std::vector<uint8_t>>;

struct RecordingSink : IndexedRowSink {
  void PutRow(std::span<const uint8_t> indices) override {
    rows.emplace_back(indices.begin(), indices.end());
  }
  Rows rows;
};

// `stored` shown as `orientation` says, through PassOrientedRows.
Rows Shown(uint16_t orientation, const Rows& stored) {
  const auto width = static_cast<uint32_t>(stored[0].size());
  const StoredFrame frame{
      .size = {width, static_cast<uint32_t>(stored.size())},
      .form = PixelForm::kIndex,
      .rows = [&](const PixelRect& window, IndexedRowSink& rows) {
        for (uint32_t y = window.y; y < window.y + window.height; ++y) {
          rows.PutRow(std::span<const uint8_t>(stored[y]).subspan(window.x, window.width));
        }
      }};
  RecordingSink sink;
  PassOrientedRows(orientation, frame, UINT64_MAX, sink);
  return sink.rows;
}

Rows Mirrored(Rows rows) {
  for (auto& row : rows) {
    std::reverse(row.begin(), row.end());
  }
  return rows;
}

Rows Flipped(Rows rows) {
  std::reverse(rows.begin(), rows.end());
  return rows;
}

Rows Transposed(const Rows& rows) {
  Rows result(rows[0].size(), std::vector<uint8_t>(rows.size()));
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t x = 0; x < rows[0].size(); ++x) {
      result[x][y] = rows[y][x];
    }
  }
  return result;
}

// What the viewer sees, from the tag's definitions (which side row 0 and
// column 0 of the stored image are on), built from plain reflections.
Rows Displayed(uint16_t orientation, const Rows& stored) {
  switch (orientation) {
    case 2:  // row 0 top, column 0 right
      return Mirrored(stored);
    case 3:  // row 0 bottom, column 0 right
      return Flipped(Mirrored(stored));
    case 4:  // row 0 bottom, column 0 left
      return Flipped(stored);
    case 5:  // row 0 left, column 0 top
      return Transposed(stored);
    case 6:  // row 0 right, column 0 top
      return Mirrored(Transposed(stored));
    case 7:  // row 0 right, column 0 bottom
      return Flipped(Mirrored(Transposed(stored)));
    case 8:  // row 0 left, column 0 bottom
      return Flipped(Transposed(stored));
    default:
      return stored;
  }
}

// A quarter turn clockwise: the left column, read upwards, becomes the top
// row.
Rows TurnedQuarter(const Rows& rows) { return Mirrored(Transposed(rows)); }

TEST(OrientationTest, EveryOrientationShowsTheImageAsTheTagSays) {
  // 70 columns: more than one block of the transposing copy.
  for (const ImageSize size : {ImageSize{3, 2}, ImageSize{1, 1}, ImageSize{70, 3}}) {
    Rows stored(size.height, std::vector<uint8_t>(size.width));
    for (uint32_t y = 0; y < size.height; ++y) {
      for (uint32_t x = 0; x < size.width; ++x) {
        stored[y][x] = static_cast<uint8_t>(y * size.width + x);
      }
    }
    for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
      const Rows shown = Shown(orientation, stored);
      EXPECT_EQ(shown, Displayed(orientation, stored)) << orientation << " " << size.width;
      EXPECT_EQ(DisplaySize(orientation, size), (ImageSize{static_cast<uint32_t>(shown[0].size()),
                                                           static_cast<uint32_t>(shown.size())}));
      // A turn after the tag: one orientation that does both.
      Rows turned = Displayed(orientation, stored);
      for (uint16_t degrees = 90; degrees < 360; degrees += 90) {
        turned = TurnedQuarter(turned);
        EXPECT_EQ(Shown(TurnedClockwise(orientation, degrees), stored), turned)
            << orientation << " turned " << degrees;
      }
      EXPECT_EQ(TurnedClockwise(orientation, 0), orientation);
    }
  }
}

}  // namespace
}  // namespace ostrel
