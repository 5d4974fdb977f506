#include "converter/nearest_color.h"

#include <random>

#include <gtest/gtest.h>

#include "converter/palette.h"

namespace ostrel {
namespace {

// The first of the palette's entries nearest to (r, g, b), by trying all.
size_t FirstNearest(const Palette& palette, int r, int g, int b) {
  size_t best = 0;
  int best_distance = 1 << 30;
  for (size_t i = 0; i < palette.size(); ++i) {
    const int dr = palette[i].red - r;
    const int dg = palette[i].green - g;
    const int db = palette[i].blue - b;
    if (dr * dr + dg * dg + db * db < best_distance) {
      best_distance = dr * dr + dg * dg + db * db;
      best = i;
    }
  }
  return best;
}

TEST(NearestColorTest, FindsTheFirstOfTheNearestEntries) {
  std::mt19937 random(7);
  const auto component = [&] { return static_cast<uint8_t>(random() % 256); };
  std::vector<Palette> palettes;
  for (const size_t size : {1, 2, 17, 256}) {
    Palette palette;
    for (size_t i = 0; i < size; ++i) {
      palette.push_back({component(), component(), component()});
    }
    palette.push_back(palette[0]);  // a duplicate: the first must win
    palettes.push_back(palette);
  }
  // A dense lattice, as a photo's palette is where its colours crowd: cells
  // share many entries, and many colours lie halfway between two.
  Palette lattice;
  for (int i = 0; i < 216; ++i) {
    lattice.push_back({static_cast<uint8_t>(100 + i % 6 * 3),
                       static_cast<uint8_t>(90 + i / 6 % 6 * 4),
                       static_cast<uint8_t>(120 + i / 36 * 2)});
  }
  palettes.push_back(lattice);
  for (const Palette& palette : palettes) {
    NearestColor nearest(palette);
    // The same queries twice: the second time every answer comes from a
    // filled cell.
    const std::mt19937 first_pass = random;
    for (int pass = 0; pass < 2; ++pass) {
      if (pass == 1) {
        random = first_pass;
      }
      for (int query = 0; query < 40000; ++query) {
        const bool near_lattice = query % 2 == 1;
        const int r = query < 8 ? (query & 1) * 255 : near_lattice ? 95 + query % 23 : component();
        const int g = query < 8      ? (query >> 1 & 1) * 255
                      : near_lattice ? 85 + query % 29
                                     : component();
        const int b = query < 8      ? (query >> 2 & 1) * 255
                      : near_lattice ? 115 + query % 17
                                     : component();
        const size_t best = FirstNearest(palette, r, g, b);
        const NearestColor::Match match = nearest.Find(r, g, b);
        ASSERT_EQ(match.index, best) << palette.size() << ": " << r << "," << g << "," << b;
        ASSERT_EQ(match.color, palette[best]);
      }
    }
  }
}

// A page of noise visits every cell; past the table's bound, colours of
// cells not filled are matched one at a time, with the same answers.
TEST(NearestColorTest, ColoursPastTheTablesBoundAreMatchedAlike) {
  std::mt19937 random(11);
  Palette palette;
  for (int i = 0; i < 256; ++i) {
    palette.push_back({static_cast<uint8_t>(random() % 256), static_cast<uint8_t>(random() % 256),
                       static_cast<uint8_t>(random() % 256)});
  }
  palette[255] = palette[3];
  NearestColor nearest(palette);
  for (int cell = 0; cell < (1 << 18); ++cell) {
    const int r = (cell >> 12) * 4 + static_cast<int>(random() % 4);
    const int g = (cell >> 6 & 63) * 4 + static_cast<int>(random() % 4);
    const int b = (cell & 63) * 4 + static_cast<int>(random() % 4);
    const size_t best = FirstNearest(palette, r, g, b);
    ASSERT_EQ(nearest.Find(r, g, b).index, best) << r << "," << g << "," << b;
  }
}

}  // namespace
}  // namespace ostrel
