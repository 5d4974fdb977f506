#include "converter/nearest_color.h"

#include <random>

#include <gtest/gtest.h>

namespace ostrel {
namespace {

TEST(NearestColorTest, FindsTheFirstOfTheNearestEntries) {
  std::mt19937 random(7);
  const auto component = [&] { return static_cast<uint8_t>(random() % 256); };
  for (const size_t size : {1, 2, 17, 256}) {
    Palette palette;
    for (size_t i = 0; i < size; ++i) {
      palette.push_back({component(), component(), component()});
    }
    palette.push_back(palette[0]);  // a duplicate: the first must win
    NearestColor nearest(palette);
    for (int query = 0; query < 20000; ++query) {
      const int r = query < 8 ? (query & 1) * 255 : component();
      const int g = query < 8 ? (query >> 1 & 1) * 255 : component();
      const int b = query < 8 ? (query >> 2 & 1) * 255 : component();
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
      ASSERT_EQ(nearest.Find(r, g, b), best) << size << ": " << r << "," << g << "," << b;
    }
  }
}

}  // namespace
}  // namespace ostrel
