#include "converter/gif_writer.h"

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "converter/image_size.h"
#include "converter/palette.h"
#include "platform/error.h"
#include "tests/support/gif_image.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

using testing::DecodeGif;
using testing::GifColor;
using testing::GifImage;

TEST(GifWriterTest, WritesAPaddedPaletteAndTheTransparentEntry) {
  testing::TemporaryDirectory directory;
  std::string bytes;
  GifWriter gif(ImageSize{3, 2}, IndexedPalette{{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, 2},
                [&](std::string_view chunk) { bytes.append(chunk); });
  const uint8_t rows[2][3] = {{0, 1, 2}, {2, 2, 0}};
  gif.PutRow(rows[0]);
  gif.PutRow(rows[1]);
  gif.Finish();
  directory.WriteFile("a.gif", bytes);
  const GifImage image = DecodeGif(directory.PathOf("a.gif"));
  EXPECT_EQ(image.signature, "GIF89a");
  EXPECT_EQ(image.palette, (std::vector<GifColor>{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {0, 0, 0}}));
  EXPECT_EQ(image.transparent_index, 2);
  EXPECT_EQ(image.indices, (std::vector<uint8_t>{0, 1, 2, 2, 2, 0}));
}

TEST(GifWriterTest, RaisesWhatTheSinkRaisedAndChecksTheRowCount) {
  // Enough rows of noise to fill more than one chunk.
  const auto failing = [](std::string_view) {
    throw Error(ErrorSource::kSystem, 28, "write /tmp/x: No space");
  };
  GifWriter gif(ImageSize{1000, 1000}, IndexedPalette{Palette(256), std::nullopt}, failing);
  std::vector<uint8_t> row(1000);
  try {
    for (size_t y = 0; y < 1000; ++y) {
      for (size_t x = 0; x < row.size(); ++x) {
        row[x] = static_cast<uint8_t>((x * 7919 + y * 104729) >> 3);
      }
      gif.PutRow(row);
    }
    gif.Finish();
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 1000 + 28);
    EXPECT_EQ(error.description(), "write /tmp/x: No space");
  }
  GifWriter short_of_rows(ImageSize{1, 2}, IndexedPalette{Palette(2), std::nullopt},
                          [](std::string_view) {});
  short_of_rows.PutRow(std::vector<uint8_t>{0});
  EXPECT_THROW(short_of_rows.Finish(), Error);
}

}  // namespace
}  // namespace ostrel
