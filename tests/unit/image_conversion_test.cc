// Generated TIFF files of every kind converted through the library, the GIFs
// decoded with giflib (PNGs with libpng, JPEGs with libjpeg) and compared
// with the source pixels.
#include "converter/image_conversion.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "converter/conversion_failure.h"
#include "converter/image_description.h"
#include "converter/orientation.h"
#include "converter/tiff_file.h"
#include "converter/tiff_reader.h"
#include "platform/error.h"
#include "tests/support/gif_image.h"
#include "tests/support/picture.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"
#include "tests/support/tiff_fixtures.h"

namespace ostrel {
namespace {

using testing::FixturePage;
using testing::GifColor;
using testing::GifImage;
using testing::Picture;

// PNG colour types.
constexpr int kPngGray = 0;
constexpr int kPngRgb = 2;
constexpr int kPngPalette = 3;
constexpr int kPngRgba = 6;

// The items that choose each format, GIF by default.
constexpr const char* kFormats[] = {"", ", format=png", ", format=jpg"};

GifColor Gray(int level) {
  const auto value = static_cast<uint8_t>(level);
  return {value, value, value};
}

GifColor ColorOf(uint32_t rgba) {
  return {static_cast<uint8_t>(rgba), static_cast<uint8_t>(rgba >> 8),
          static_cast<uint8_t>(rgba >> 16)};
}

// A page of `bits`-bit samples from a pattern, and those samples.
FixturePage PatternPage(uint32_t width, uint32_t height, int bits, uint32_t levels,
                        std::vector<uint16_t>* values) {
  *values = testing::PatternSamples(width * height, levels, width + bits);
  return FixturePage{.width = width,
                     .height = height,
                     .bits_per_sample = static_cast<uint16_t>(bits),
                     .samples = testing::PackSamples(*values, bits, width)};
}

// A colour page using `count` colours, each pixel (r, g, b) or (c, m, y, k).
FixturePage FewColorsPage(uint32_t width, uint32_t height, int channels, uint32_t count) {
  const std::vector<uint16_t> choice = testing::PatternSamples(width * height, count, 3);
  FixturePage page{
      .width = width,
      .height = height,
      .samples_per_pixel = static_cast<uint16_t>(channels),
      .photometric = static_cast<uint16_t>(channels == 4 ? PHOTOMETRIC_SEPARATED : PHOTOMETRIC_RGB),
      .compression = COMPRESSION_LZW};
  for (const uint16_t c : choice) {
    for (int channel = 0; channel < channels; ++channel) {
      page.samples.push_back(static_cast<uint8_t>((c * 67 + channel * 101) % 256));
    }
  }
  return page;
}

class ImageConversionTest : public ::testing::Test {
 protected:
  std::string In() const { return directory_.PathOf("in.tif"); }
  std::string Out() const { return directory_.PathOf("out.gif"); }

  void Run(const std::string& extra, const ConversionTuning& tuning = {}) {
    ConvertImage(ParseConversionOptions("source=" + In() + ", dest=" + Out() + extra), tuning);
  }

  GifImage Convert(const std::vector<FixturePage>& pages, const std::string& extra = "") {
    testing::WriteTiff(In(), pages);
    Run(extra);
    return testing::DecodeGif(Out());
  }

  // The bytes of in.tif converted (into out.gif, whatever the format).
  std::string ConvertedBytes(const std::string& extra, const ConversionTuning& tuning = {}) {
    Run(extra, tuning);
    return directory_.ReadFile("out.gif");
  }

  // The pixels that differ from libtiff's own rendering of in.tif.
  int DifferencesFromLibtiff(const GifImage& gif, int page = 1) const {
    const std::vector<uint32_t> rgba = testing::LibtiffRgba(In(), page);
    int differences = rgba.size() == gif.indices.size() ? 0 : -1;
    for (size_t i = 0; differences >= 0 && i < rgba.size(); ++i) {
      if (gif.palette[gif.indices[i]] != ColorOf(rgba[i])) {
        ++differences;
      }
    }
    return differences;
  }

  // Converting in.tif as it is fails with `failure` and a description that
  // contains `text`, and leaves nothing behind: an older out.gif is removed.
  void ExpectFailure(const std::string& extra, ConversionFailure failure, const std::string& text,
                     const ConversionTuning& tuning = {}) {
    std::vector<std::string> before = directory_.List();
    std::erase(before, "out.gif");
    directory_.WriteFile("out.gif", "an older GIF");
    try {
      Run(extra, tuning);
      ADD_FAILURE() << "converted: " << text;
    } catch (const Error& error) {
      EXPECT_EQ(error.code(), static_cast<int32_t>(failure)) << error.description();
      EXPECT_NE(error.description().find(text), std::string::npos) << error.description();
    }
    EXPECT_EQ(directory_.List(), before) << text;
  }

  testing::TemporaryDirectory directory_;
};

TEST_F(ImageConversionTest, BilevelAndGrayPagesAreExact) {
  const struct {
    int bits;
    uint16_t compression;
    uint32_t rows_per_strip;
    uint32_t group3_options;
    uint16_t predictor;
  } cases[] = {
      {1, COMPRESSION_NONE, 0, 0, PREDICTOR_NONE},
      {1, COMPRESSION_PACKBITS, 7, 0, PREDICTOR_NONE},
      {1, COMPRESSION_CCITTRLE, 0, 0, PREDICTOR_NONE},
      {1, COMPRESSION_CCITTFAX3, 0, 0, PREDICTOR_NONE},
      {1, COMPRESSION_CCITTFAX3, 9, GROUP3OPT_2DENCODING, PREDICTOR_NONE},
      {1, COMPRESSION_CCITTFAX4, 0, 0, PREDICTOR_NONE},
      {1, COMPRESSION_LZW, 5, 0, PREDICTOR_NONE},
      {2, COMPRESSION_NONE, 0, 0, PREDICTOR_NONE},
      {4, COMPRESSION_LZW, 0, 0, PREDICTOR_NONE},
      {8, COMPRESSION_ADOBE_DEFLATE, 10, 0, PREDICTOR_NONE},
      {8, COMPRESSION_LZW, 3, 0, PREDICTOR_HORIZONTAL},
      {16, COMPRESSION_LZW, 0, 0, PREDICTOR_NONE},
      {16, COMPRESSION_ADOBE_DEFLATE, 4, 0, PREDICTOR_HORIZONTAL},
  };
  for (const auto& c : cases) {
    for (const uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
      SCOPED_TRACE(::testing::Message() << c.bits << " bits, compression " << c.compression
                                        << ", photometric " << photometric);
      const uint32_t levels = c.bits == 16 ? 65536 : 1u << c.bits;
      std::vector<uint16_t> values;
      FixturePage page = PatternPage(203, 37, c.bits, levels, &values);
      page.photometric = photometric;
      page.compression = c.compression;
      page.rows_per_strip = c.rows_per_strip;
      page.group3_options = c.group3_options;
      page.predictor = c.predictor;
      page.x_resolution = 204;  // a fine fax's resolution: the pixels stay as they are
      page.y_resolution = 196;
      const GifImage gif = Convert({page});
      ASSERT_EQ(gif.width, 203u);
      ASSERT_EQ(gif.height, 37u);
      EXPECT_EQ(gif.signature, "GIF89a");
      EXPECT_EQ(gif.palette.size(), std::min(levels, 256u));
      EXPECT_EQ(gif.transparent_index, -1);
      int differences = 0;
      for (size_t i = 0; i < values.size(); ++i) {
        int level = c.bits == 16 ? static_cast<int>(std::lround(values[i] / 257.0))
                                 : values[i] * 255 / static_cast<int>(levels - 1);
        if (photometric == PHOTOMETRIC_MINISWHITE) {
          level = 255 - level;
        }
        if (gif.palette[gif.indices[i]] != Gray(level)) {
          ++differences;
        }
      }
      EXPECT_EQ(differences, 0);
    }
  }
}

// A palette page of `bits`-bit samples using entries 0 to `levels_used` - 1
// of a colormap that repeats `period` distinct colours, and those samples.
FixturePage PalettePage(int bits, uint32_t levels_used, uint32_t period, bool eight_bit_map,
                        std::vector<uint16_t>* values) {
  FixturePage page = PatternPage(61, 13, bits, levels_used, values);
  page.photometric = PHOTOMETRIC_PALETTE;
  page.compression = COMPRESSION_PACKBITS;
  const uint32_t entries = 1u << bits;
  page.colormap.resize(3 * entries);
  for (uint32_t i = 0; i < entries; ++i) {
    const uint32_t k = i % period;
    const uint32_t color[3] = {k * 7 % 256, 255 - k, k * 37 % 256};
    for (int c = 0; c < 3; ++c) {
      // 16-bit entries a little off the multiples of 257 that 8 bits give.
      page.colormap[c * entries + i] =
          static_cast<uint16_t>(eight_bit_map ? color[c] : color[c] * 257 + i * 13 % 129);
    }
  }
  return page;
}

TEST_F(ImageConversionTest, PalettePagesKeepTheirColors) {
  struct Case {
    int bits;
    uint32_t levels_used;
    uint32_t period;    // distinct colours in the colormap, repeated
    size_t table_size;  // 8 bits: the smallest power of two that holds the colours used
  };
  const Case cases[] = {{1, 2, 256, 2},     {2, 4, 256, 4},   {4, 16, 256, 16}, {4, 3, 256, 16},
                        {8, 256, 256, 256}, {8, 38, 256, 64}, {8, 64, 256, 64}, {8, 65, 256, 128},
                        {8, 1, 256, 2},     {8, 65, 10, 16},  {8, 200, 3, 4}};
  for (const auto& [bits, levels_used, period, table_size] : cases) {
    for (const bool eight_bit_map : {false, true}) {
      SCOPED_TRACE(::testing::Message() << bits << " bits, " << levels_used << " used of " << period
                                        << ", 8-bit map " << eight_bit_map);
      std::vector<uint16_t> values;
      FixturePage page = PalettePage(bits, levels_used, period, eight_bit_map, &values);
      ASSERT_EQ(*std::max_element(values.begin(), values.end()), levels_used - 1);
      if (bits == 8 && eight_bit_map) {  // differenced, as LZW files often are
        page.compression = COMPRESSION_LZW;
        page.predictor = PREDICTOR_HORIZONTAL;
      }
      const GifImage gif = Convert({page});
      EXPECT_EQ(gif.palette.size(), table_size);
      int differences = 0;
      for (size_t i = 0; i < values.size(); ++i) {
        GifColor want;
        for (int c = 0; c < 3; ++c) {
          const uint16_t entry = page.colormap[c * (size_t{1} << bits) + values[i]];
          want[c] = static_cast<uint8_t>(eight_bit_map ? entry : std::lround(entry / 257.0));
        }
        if (gif.ColorAt(static_cast<uint32_t>(i % 61), static_cast<uint32_t>(i / 61)) != want) {
          ++differences;
        }
      }
      EXPECT_EQ(differences, 0);
    }
  }
}

TEST_F(ImageConversionTest, FewColorPagesOfEveryLayoutMatchLibtiffExactly) {
  FixturePage rgb16 = FewColorsPage(50, 40, 3, 200);
  rgb16.bits_per_sample = 16;
  rgb16.samples.clear();
  for (const uint8_t sample : FewColorsPage(50, 40, 3, 200).samples) {
    const uint16_t wide = static_cast<uint16_t>(sample * 257 + 100);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&wide);
    rgb16.samples.insert(rgb16.samples.end(), bytes, bytes + 2);
  }
  FixturePage tiled_rgb = FewColorsPage(100, 70, 3, 256);
  tiled_rgb.tile_width = 32;
  tiled_rgb.tile_height = 16;
  std::vector<uint16_t> values;
  FixturePage tiled_gray = PatternPage(100, 70, 8, 256, &values);
  tiled_gray.tile_width = 32;
  tiled_gray.tile_height = 48;
  FixturePage differenced_tiled_gray = tiled_gray;
  differenced_tiled_gray.compression = COMPRESSION_LZW;
  differenced_tiled_gray.predictor = PREDICTOR_HORIZONTAL;
  FixturePage tiled_bilevel = PatternPage(45, 40, 1, 2, &values);
  tiled_bilevel.tile_width = 16;
  tiled_bilevel.tile_height = 16;
  FixturePage jpeg_gray = PatternPage(64, 48, 8, 256, &values);
  jpeg_gray.compression = COMPRESSION_JPEG;
  const struct {
    const char* name;
    FixturePage page;
  } cases[] = {
      {"RGB", FewColorsPage(50, 40, 3, 256)},
      {"CMYK", FewColorsPage(50, 40, 4, 120)},
      {"16-bit RGB", rgb16},
      {"tiled RGB", tiled_rgb},
      {"tiled gray", tiled_gray},
      {"tiled gray, differenced", differenced_tiled_gray},
      {"tiled bilevel", tiled_bilevel},
      {"JPEG gray", jpeg_gray},
  };
  for (const auto& c : cases) {
    const GifImage gif = Convert({c.page}, ", dither=on");
    EXPECT_EQ(DifferencesFromLibtiff(gif), 0) << c.name;
  }
}

TEST_F(ImageConversionTest, PhotosAreReducedCloseToTheSource) {
  FixturePage photo{.width = 300,
                    .height = 200,
                    .samples_per_pixel = 3,
                    .photometric = PHOTOMETRIC_RGB,
                    .compression = COMPRESSION_ADOBE_DEFLATE,
                    .rows_per_strip = 16,
                    .samples = testing::PhotoSamples(300, 200)};
  FixturePage jpeg = photo;
  jpeg.compression = COMPRESSION_JPEG;
  jpeg.ycbcr = true;
  jpeg.jpeg_quality = 90;
  const struct {
    FixturePage page;
    const char* extra;
    size_t most_colors;
    double least_psnr;
  } cases[] = {
      {photo, "", 256, 30},
      {photo, ", dither=off", 256, 32.5},
      {photo, ", colors=16", 16, 20},
      {jpeg, ", dither=off", 256, 32.5},
  };
  for (const auto& c : cases) {
    const GifImage gif = Convert({c.page}, c.extra);
    EXPECT_LE(gif.palette.size(), c.most_colors) << c.extra;
    EXPECT_GE(testing::Psnr(gif, testing::LibtiffRgba(In())), c.least_psnr) << c.extra;
  }
}

// `page` with an alpha sample after its colour ones, unassociated, taking
// the values of `alphas` in turn.
FixturePage WithAlpha(FixturePage page, const std::vector<uint8_t>& alphas) {
  const size_t channels = page.samples_per_pixel;
  std::vector<uint8_t> samples;
  for (size_t i = 0; i < page.samples.size(); i += channels) {
    samples.insert(samples.end(), page.samples.begin() + static_cast<ptrdiff_t>(i),
                   page.samples.begin() + static_cast<ptrdiff_t>(i + channels));
    samples.push_back(alphas[i / channels % alphas.size()]);
  }
  page.samples = samples;
  page.samples_per_pixel = static_cast<uint16_t>(channels + 1);
  page.extra_samples = {EXTRASAMPLE_UNASSALPHA};
  return page;
}

// Every kind of page, decoded back from each format. A PNG holds exactly the
// pixels of the GIF of the same items, or libtiff's own where the GIF would
// reduce the colours or the alpha, in the smallest form they allow; a JPEG
// comes close to them, gray for gray pages, transparency shown over white.
TEST_F(ImageConversionTest, PngsKeepEveryPixelAndJpegsComeClose) {
  std::vector<uint16_t> values;
  FixturePage bilevel = PatternPage(203, 37, 1, 2, &values);
  bilevel.photometric = PHOTOMETRIC_MINISWHITE;
  bilevel.compression = COMPRESSION_CCITTFAX4;
  const FixturePage gray = PatternPage(61, 37, 8, 256, &values);
  const FixturePage gray4 = PatternPage(61, 37, 4, 16, &values);
  const FixturePage palette4 = PalettePage(4, 16, 256, true, &values);
  const FixturePage palette8 = PalettePage(8, 38, 256, false, &values);
  const FixturePage photo{.width = 120,
                          .height = 80,
                          .samples_per_pixel = 3,
                          .photometric = PHOTOMETRIC_RGB,
                          .rows_per_strip = 16,
                          .samples = testing::PhotoSamples(120, 80)};
  const struct {
    const char* name;
    FixturePage page;
    const char* extra;
    bool like_gif;  // else like libtiff's rendering
    int bit_depth;
    int color_type;
    bool trns;
    int jpeg_components;
    // Of the JPEG at quality 85, 1.5 dB below what it gave: colour noise
    // from pixel to pixel, as on most of these pages, is what a JPEG keeps
    // worst.
    double least_psnr;
  } cases[] = {
      {"bilevel", bilevel, "", true, 1, kPngGray, false, 1, 34.4},
      {"reduced bilevel", bilevel, ", width=50", true, 4, kPngGray, false, 1, 32.1},
      {"reduced bilevel, 5 grays", bilevel, ", width=50, grays=5", true, 4, kPngPalette, false, 1,
       31.9},
      {"4-bit gray", gray4, "", true, 4, kPngGray, false, 1, 31.6},
      {"gray", gray, "", true, 8, kPngGray, false, 1, 31.5},
      {"reduced gray", gray, ", width=20", true, 8, kPngGray, false, 1, 31.5},
      {"4-bit palette", palette4, "", true, 4, kPngPalette, false, 3, 14.9},
      {"38 colours of a palette", palette8, "", true, 8, kPngPalette, false, 3, 13.3},
      {"9 colours", FewColorsPage(50, 40, 3, 9), "", true, 4, kPngPalette, false, 3, 10.4},
      {"200 colours", FewColorsPage(50, 40, 3, 200), "", true, 8, kPngPalette, false, 3, 10.2},
      {"200 colours, colors=16", FewColorsPage(50, 40, 3, 200), ", colors=16", false, 8,
       kPngPalette, false, 3, 10.2},
      {"photo", photo, "", false, 8, kPngRgb, false, 3, 34.4},
      {"colours and alpha", WithAlpha(FewColorsPage(50, 40, 3, 30), {255, 0, 170}), "", false, 8,
       kPngPalette, true, 3, 13.2},
      {"photo and alpha", WithAlpha(photo, {255, 0, 170, 255, 90}), "", false, 8, kPngRgba, false,
       3, 21.7},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::WriteTiff(In(), {c.page});
    const Picture want =
        c.like_gif
            ? testing::PictureOfGif(testing::DecodeGifBytes(ConvertedBytes(c.extra)))
            : testing::PictureOfRgba(testing::LibtiffRgba(In()), c.page.width, c.page.height);
    const std::string png = ConvertedBytes(c.extra + std::string(", format=png"));
    EXPECT_EQ(testing::Differences(testing::DecodePng(png), want), 0);
    const testing::PngForm form = testing::ReadPngForm(png);
    EXPECT_EQ(form.bit_depth, c.bit_depth);
    EXPECT_EQ(form.color_type, c.color_type);
    EXPECT_EQ(form.has_transparency, c.trns);
    const Picture jpeg =
        testing::DecodeJpegPicture(ConvertedBytes(c.extra + std::string(", format=jpg")));
    ASSERT_EQ(jpeg.width, want.width);
    ASSERT_EQ(jpeg.height, want.height);
    EXPECT_EQ(jpeg.components, c.jpeg_components);
    EXPECT_GE(testing::PsnrOverWhite(jpeg, want), c.least_psnr);
  }
  // The quality item trades closeness for size.
  testing::WriteTiff(In(), {photo});
  const std::string fine = ConvertedBytes(", format=jpg");
  const std::string coarse = ConvertedBytes(", format=jpg, jpegquality=30");
  EXPECT_LT(coarse.size() * 2, fine.size());
  const Picture source = testing::PictureOfRgba(testing::LibtiffRgba(In()), 120, 80);
  EXPECT_LT(testing::PsnrOverWhite(testing::DecodeJpegPicture(coarse), source),
            testing::PsnrOverWhite(testing::DecodeJpegPicture(fine), source));
}

// A photo written as its pixels are (a PNG of more than 256 colours, any
// JPEG) is shown as its Orientation tag says, whether its frame is held, or
// read again band by band: bottom band first, or once per block of columns.
TEST_F(ImageConversionTest, PixelsWrittenAsTheyAreFollowTheOrientationTag) {
  constexpr uint32_t kWidth = 90;
  constexpr uint32_t kHeight = 70;
  FixturePage photo{.width = kWidth,
                    .height = kHeight,
                    .samples_per_pixel = 3,
                    .photometric = PHOTOMETRIC_RGB,
                    .rows_per_strip = 8,
                    .samples = testing::PhotoSamples(kWidth, kHeight)};
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    photo.orientation = orientation;
    testing::WriteTiff(In(), {photo});
    // Display pixel (x, y) of stored row r, column c, as the tag defines it.
    const bool turned = orientation >= 5;
    Picture want{turned ? kHeight : kWidth, turned ? kWidth : kHeight,
                 std::vector<testing::Rgba8>(kWidth * kHeight), 0};
    for (uint32_t r = 0; r < kHeight; ++r) {
      for (uint32_t c = 0; c < kWidth; ++c) {
        const uint32_t across[9] = {
            0, c, kWidth - 1 - c, kWidth - 1 - c, c, r, kHeight - 1 - r, kHeight - 1 - r, r};
        const uint32_t down[9] = {
            0, r, r, kHeight - 1 - r, kHeight - 1 - r, c, c, kWidth - 1 - c, kWidth - 1 - c};
        const uint8_t* sample = &photo.samples[(r * kWidth + c) * 3];
        want.pixels[down[orientation] * want.width + across[orientation]] = {sample[0], sample[1],
                                                                             sample[2], 255};
      }
    }
    for (const ConversionTuning& tuning : {ConversionTuning{}, {.max_held_pixels = 100}}) {
      const std::string png = ConvertedBytes(", format=png", tuning);
      EXPECT_EQ(testing::ReadPngForm(png).color_type, kPngRgb);
      EXPECT_EQ(testing::Differences(testing::DecodePng(png), want), 0);
    }
    const std::string jpeg = ConvertedBytes(", format=jpg");
    EXPECT_EQ(ConvertedBytes(", format=jpg", {.max_held_pixels = 100}), jpeg);
    EXPECT_GE(testing::PsnrOverWhite(testing::DecodeJpegPicture(jpeg), want), 34);
  }
}

TEST_F(ImageConversionTest, AFrameTooLargeToHoldIsDecodedTwiceToTheSameGif) {
  FixturePage photo{.width = 90,
                    .height = 70,
                    .samples_per_pixel = 3,
                    .photometric = PHOTOMETRIC_RGB,
                    .orientation = 7,
                    .rows_per_strip = 3,
                    .samples = testing::PhotoSamples(90, 70)};
  std::vector<uint16_t> values;
  FixturePage palette = PalettePage(8, 90, 40, true, &values);
  palette.orientation = 6;
  // The photo reduced to 64 colours; the palette page's own 40 kept.
  for (const FixturePage& page : {photo, palette}) {
    testing::WriteTiff(In(), {page});
    const ConversionOptions parameters =
        ParseConversionOptions("source=" + In() + ", dest=" + Out() +
                               (page.photometric == PHOTOMETRIC_RGB ? ", colors=64" : ""));
    ConvertImage(parameters);
    const std::string held = directory_.ReadFile("out.gif");
    ConvertImage(parameters, {.max_held_pixels = 100});
    EXPECT_EQ(directory_.ReadFile("out.gif"), held) << page.photometric;
    EXPECT_EQ(testing::DecodeGif(Out()).palette.size(), 64u);
  }
  // The photo's own colours, as a PNG and a JPEG, read again band by band:
  // turned, flipped (bottom band first) or mirrored.
  for (const uint16_t orientation : {7, 3, 2}) {
    photo.orientation = orientation;
    testing::WriteTiff(In(), {photo});
    for (const std::string format : {", format=png", ", format=jpg"}) {
      EXPECT_EQ(ConvertedBytes(format, {.max_held_pixels = 100}), ConvertedBytes(format))
          << orientation << format;
    }
  }
}

TEST_F(ImageConversionTest, AlphaBelowOneHalfIsTransparent) {
  const uint8_t alphas[] = {0, 127, 128, 170, 255};
  for (const uint16_t kind : {EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_ASSOCALPHA}) {
    FixturePage page{.width = 20,
                     .height = 10,
                     .samples_per_pixel = 4,
                     .photometric = PHOTOMETRIC_RGB,
                     .extra_samples = {kind}};
    for (uint32_t i = 0; i < 200; ++i) {
      const uint8_t alpha = alphas[i % 5];
      // Colours that premultiplying by 170 or 128 and back keeps within 1.
      const uint8_t color[3] = {static_cast<uint8_t>(i % 7 * 40), 90, 255};
      for (const uint8_t value : color) {
        page.samples.push_back(
            kind == EXTRASAMPLE_ASSOCALPHA ? static_cast<uint8_t>(value * alpha / 255) : value);
      }
      page.samples.push_back(alpha);
    }
    const GifImage gif = Convert({page});
    ASSERT_GE(gif.transparent_index, 0);
    for (uint32_t i = 0; i < 200; ++i) {
      const uint32_t x = i % 20;
      const uint32_t y = i / 20;
      ASSERT_EQ(gif.TransparentAt(x, y), alphas[i % 5] < 128) << i;
      if (alphas[i % 5] >= 128) {
        const GifColor got = gif.ColorAt(x, y);
        EXPECT_NEAR(got[0], i % 7 * 40, 1) << i;
        EXPECT_NEAR(got[1], 90, 1) << i;
        EXPECT_NEAR(got[2], 255, 1) << i;
      }
    }
  }
}

TEST_F(ImageConversionTest, OrientationPutsTheFirstStoredRowWhereTheTagSays) {
  // Where stored pixels (0, 0) and (0, last column) appear, as (x, y) in
  // units of the displayed width - 1 and height - 1.
  const int corners[9][2][2] = {{},
                                {{0, 0}, {1, 0}},
                                {{1, 0}, {0, 0}},
                                {{1, 1}, {0, 1}},
                                {{0, 1}, {1, 1}},
                                {{0, 0}, {0, 1}},
                                {{1, 0}, {1, 1}},
                                {{1, 1}, {1, 0}},
                                {{0, 1}, {0, 0}}};
  std::vector<uint16_t> values;
  for (FixturePage page : {PatternPage(9, 5, 8, 256, &values), FewColorsPage(9, 5, 3, 200),
                           PatternPage(9, 5, 1, 2, &values)}) {
    // Distinct corners of the first row.
    const size_t last = size_t{page.samples_per_pixel} * (page.bits_per_sample == 1 ? 1 : 8);
    page.samples[0] = 0;
    page.samples[last] = 255;
    for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
      page.orientation = orientation;
      const GifImage gif = Convert({page});
      const bool turned = orientation >= 5;
      ASSERT_EQ(gif.width, turned ? 5u : 9u) << orientation;
      const GifColor first = gif.ColorAt(corners[orientation][0][0] * (gif.width - 1),
                                         corners[orientation][0][1] * (gif.height - 1));
      const GifColor end = gif.ColorAt(corners[orientation][1][0] * (gif.width - 1),
                                       corners[orientation][1][1] * (gif.height - 1));
      EXPECT_EQ(first[0], 0) << orientation;
      EXPECT_EQ(end[0], 255) << orientation;
    }
  }
}

TEST_F(ImageConversionTest, SamplesOfEveryDepthAndFormatMapToEightBits) {
  using Rule = int (*)(double value, double low, double high);  // low, high: the page's own
  const Rule full_12 = [](double v, double, double) { return int(std::lround(v * 255 / 4095)); };
  const Rule full_5 = [](double v, double, double) { return int(std::lround(v * 255 / 31)); };
  const Rule full_16 = [](double v, double, double) { return int(std::lround(v * 255 / 65535)); };
  const Rule full_32 = [](double v, double, double) {
    return int(std::lround(v * 255 / 4294967295.0));
  };
  const Rule stretch = [](double v, double low, double high) {
    return int(std::lround((v - low) * 255 / (high - low)));
  };
  const Rule unit = [](double v, double, double) { return int(std::lround(v * 255)); };
  const Rule declared = [](double v, double, double) {  // SMinSampleValue -1000, SMax 1000
    return int(std::clamp(std::lround((v + 1000) * 255 / 2000), 0L, 255L));
  };
  const struct Case {
    const char* name;
    int bits;
    uint16_t format;
    uint16_t photometric;
    bool alpha;                       // unassociated, all or nothing
    double (*value)(uint32_t level);  // a stored value for a level in 0..255
    Rule rule;
    FixturePage layout;
  } cases[] = {
      {"12-bit gray",
       12,
       SAMPLEFORMAT_UINT,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k * 16.0 + k % 16; },
       full_12,
       {.compression = COMPRESSION_LZW}},
      {"12-bit white-is-zero, tiled",
       12,
       SAMPLEFORMAT_UINT,
       PHOTOMETRIC_MINISWHITE,
       false,
       [](uint32_t k) { return k * 16.0; },
       full_12,
       {.tile_width = 16, .tile_height = 16}},
      {"5-bit gray",
       5,
       SAMPLEFORMAT_UINT,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k / 8.0 - k % 8 / 8.0; },
       full_5,
       {.rows_per_strip = 7}},
      {"16-bit signed gray",
       16,
       SAMPLEFORMAT_INT,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k * 100.0 - 20000; },
       stretch,
       {.compression = COMPRESSION_ADOBE_DEFLATE}},
      {"16-bit signed gray, declared range",
       16,
       SAMPLEFORMAT_INT,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k * 10.0 - 1400; },
       declared,
       {.smin = -1000, .smax = 1000}},
      {"32-bit gray",
       32,
       SAMPLEFORMAT_UINT,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k * 16843009.0 - k % 7; },
       full_32,
       {.compression = COMPRESSION_LZW, .predictor = PREDICTOR_HORIZONTAL}},
      {"32-bit signed gray",
       32,
       SAMPLEFORMAT_INT,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k * 1e6 - 2e8; },
       stretch,
       {.rows_per_strip = 5}},
      {"32-bit float gray in 0..1",
       32,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k / 255.0; },
       unit,
       {.compression = COMPRESSION_ADOBE_DEFLATE, .predictor = PREDICTOR_FLOATINGPOINT}},
      {"32-bit float gray beyond 0..1",
       32,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k * 0.37 - 3.5; },
       stretch,
       {.tile_width = 32, .tile_height = 16}},
      {"32-bit float gray of one value",
       32,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t) { return 7.5; },
       [](double, double, double) { return 0; },
       {}},
      {"64-bit float gray, declared range",
       64,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k * 9.0 - 1200; },
       declared,
       {.smin = -1000, .smax = 1000}},
      {"16-bit float gray",
       16,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k / 256.0; },
       unit,
       {}},
      {"24-bit float gray",
       24,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_MINISBLACK,
       false,
       [](uint32_t k) { return k / 64.0 - 2; },
       stretch,
       {}},
      {"12-bit RGB, tiled",
       12,
       SAMPLEFORMAT_UINT,
       PHOTOMETRIC_RGB,
       false,
       [](uint32_t k) { return k * 16.0 + 15; },
       full_12,
       {.tile_width = 16, .tile_height = 32}},
      {"16-bit signed RGB and alpha, planes",
       16,
       SAMPLEFORMAT_INT,
       PHOTOMETRIC_RGB,
       true,
       [](uint32_t k) { return k * 50.0 - 6000; },
       stretch,
       {.rows_per_strip = 6, .separate_planes = true}},
      {"32-bit float RGB, tiled planes",
       32,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_RGB,
       false,
       [](uint32_t k) { return k / 255.0; },
       unit,
       {.tile_width = 16, .tile_height = 16, .separate_planes = true}},
      {"32-bit float gray and alpha",
       32,
       SAMPLEFORMAT_IEEEFP,
       PHOTOMETRIC_MINISBLACK,
       true,
       [](uint32_t k) { return k / 255.0; },
       unit,
       {}},
      {"16-bit CMYK",
       16,
       SAMPLEFORMAT_UINT,
       PHOTOMETRIC_SEPARATED,
       false,
       [](uint32_t k) { return k * 257.0; },
       full_16,
       {.compression = COMPRESSION_LZW}},
      {"16-bit CMYK and alpha",
       16,
       SAMPLEFORMAT_UINT,
       PHOTOMETRIC_SEPARATED,
       true,
       [](uint32_t k) { return k * 257.0; },
       full_16,
       {}},
  };
  constexpr uint32_t kWidth = 48;
  constexpr uint32_t kHeight = 20;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int channels = c.photometric == PHOTOMETRIC_RGB         ? 3
                         : c.photometric == PHOTOMETRIC_SEPARATED ? 4
                                                                  : 1;
    const int samples = channels + (c.alpha ? 1 : 0);
    // Few distinct colours, so that colour pages keep theirs too.
    const std::vector<uint16_t> levels = testing::PatternSamples(kWidth * kHeight, 40, c.bits);
    std::vector<double> values;
    for (uint32_t i = 0; i < kWidth * kHeight; ++i) {
      for (int s = 0; s < channels; ++s) {
        values.push_back(c.value((levels[i] * 6 + s * 13 * (levels[i] % 3)) % 256));
      }
      if (c.alpha) {
        const bool opaque = i % 5 != 0;
        values.push_back(c.format == SAMPLEFORMAT_IEEEFP ? opaque
                         : c.format == SAMPLEFORMAT_INT  ? opaque * ((1 << (c.bits - 1)) - 1)
                                                         : opaque * ((1 << c.bits) - 1));
      }
    }
    double low = INFINITY;
    double high = -INFINITY;
    for (size_t i = 0; i < values.size(); ++i) {
      if (!c.alpha || i % samples != static_cast<size_t>(channels)) {
        low = std::min(low, values[i]);
        high = std::max(high, values[i]);
      }
    }
    FixturePage page = c.layout;
    page.width = kWidth;
    page.height = kHeight;
    page.bits_per_sample = static_cast<uint16_t>(c.bits);
    page.samples_per_pixel = static_cast<uint16_t>(samples);
    page.photometric = c.photometric;
    page.sample_format = c.format;
    if (c.alpha) {
      page.extra_samples = {EXTRASAMPLE_UNASSALPHA};
    }
    page.samples = testing::EncodeSamples(values, c.bits, c.format, kWidth * samples);
    const GifImage gif = Convert({page});
    ASSERT_EQ(gif.width, kWidth);
    ASSERT_EQ(gif.height, kHeight);
    if (channels == 1 && !c.alpha) {
      EXPECT_EQ(gif.palette.size(), 256u);  // every gray, as an 8-bit page has
    }
    int differences = 0;
    for (uint32_t i = 0; i < kWidth * kHeight; ++i) {
      const double* pixel = &values[i * samples];
      int mapped[4];
      for (int s = 0; s < channels; ++s) {
        mapped[s] = c.rule(pixel[s], low, high);
      }
      GifColor want = Gray(c.photometric == PHOTOMETRIC_MINISWHITE ? 255 - mapped[0] : mapped[0]);
      if (channels == 3) {
        want = {uint8_t(mapped[0]), uint8_t(mapped[1]), uint8_t(mapped[2])};
      } else if (channels == 4) {
        for (int s = 0; s < 3; ++s) {
          want[s] = static_cast<uint8_t>((255 - mapped[3]) * (255 - mapped[s]) / 255);
        }
      }
      const bool transparent = c.alpha && i % 5 == 0;
      if (gif.TransparentAt(i % kWidth, i / kWidth) != transparent ||
          (!transparent && gif.ColorAt(i % kWidth, i / kWidth) != want)) {
        ++differences;
      }
    }
    EXPECT_EQ(differences, 0);
  }
}

TEST_F(ImageConversionTest, OldStyleCodesAndSchemesConvertInFull) {
  std::vector<uint16_t> values;
  FixturePage lzw = PatternPage(120, 50, 8, 256, &values);
  lzw.compression = COMPRESSION_LZW;
  lzw.old_style = true;
  lzw.rows_per_strip = 40;  // a full code table, cleared, in the first strip
  std::vector<uint16_t> jpeg_values;
  FixturePage jpeg = PatternPage(64, 40, 8, 256, &jpeg_values);
  for (uint32_t i = 0; i < 64 * 40; ++i) {  // smooth, as photographs are
    jpeg.samples[i] = static_cast<uint8_t>((i % 64) * 3 + (i / 64) * 2 + jpeg.samples[i] % 8);
  }
  jpeg.compression = COMPRESSION_OJPEG;
  jpeg.old_style = true;
  for (const FixturePage& page : {lzw, jpeg}) {
    SCOPED_TRACE(page.compression);
    const GifImage gif = Convert({page});
    const std::vector<uint8_t> want =
        page.compression == COMPRESSION_OJPEG
            ? testing::DecodeJpeg(testing::GrayJpeg(64, 40, page.samples))
            : page.samples;
    ASSERT_EQ(gif.indices.size(), want.size());
    int differences = 0;
    for (size_t i = 0; i < want.size(); ++i) {
      differences += gif.ColorAt(static_cast<uint32_t>(i % page.width),
                                 static_cast<uint32_t>(i / page.width)) != Gray(want[i]);
    }
    EXPECT_EQ(differences, 0);
  }
}

TEST_F(ImageConversionTest, AFaxWithDamagedLinesConvertsAndCountsThem) {
  std::vector<uint16_t> values;
  FixturePage fax = PatternPage(203, 60, 1, 2, &values);
  fax.compression = COMPRESSION_CCITTFAX3;
  testing::WriteTiff(In(), {fax});
  const uint32_t size = testing::TagValue(In(), TIFFTAG_STRIPBYTECOUNTS);
  const auto damage = [&] {  // three bytes of in.tif's strip flipped
    const uint32_t start = testing::TagValue(In(), TIFFTAG_STRIPOFFSETS);
    const uint32_t length = testing::TagValue(In(), TIFFTAG_STRIPBYTECOUNTS);
    std::string bytes = directory_.ReadFile("in.tif");
    for (const uint32_t at : {length / 3, length / 3 + 1, length * 2 / 3}) {
      bytes[start + at] = static_cast<char>(~bytes[start + at]);
    }
    directory_.WriteFile("in.tif", bytes);
  };
  damage();
  const std::string note =
      ConvertImage(ParseConversionOptions("source=" + In() + ", dest=" + Out()));
  const GifImage gif = testing::DecodeGif(Out());
  ASSERT_EQ(gif.height, 60u);
  // Every line but the damaged ones as written.
  uint32_t damaged_rows = 0;
  for (uint32_t y = 0; y < 60; ++y) {
    for (uint32_t x = 0; x < 203; ++x) {
      if (gif.ColorAt(x, y) != Gray(values[y * 203 + x] * 255)) {
        ++damaged_rows;
        break;
      }
    }
  }
  // A flipped byte may also decode to valid codes of a wrong line, unseen.
  const std::string tail = " of " + In() + " filled in";
  ASSERT_TRUE(note.ends_with(tail)) << note;
  const int counted = std::stoi(note);
  EXPECT_GE(counted, 1) << note;
  EXPECT_LE(damaged_rows, 6u);
  EXPECT_GE(damaged_rows, static_cast<uint32_t>(counted));
  // Group 4 has no line ends to resynchronise at: the rest would be lost.
  FixturePage g4 = fax;
  g4.compression = COMPRESSION_CCITTFAX4;
  testing::WriteTiff(In(), {g4});
  damage();
  ExpectFailure("", ConversionFailure::kDamagedTiff, "cannot read the pixels of " + In() + ": ");
  // A page whose data ends early is refused still.
  testing::WriteTiff(In(), {fax});
  testing::SetTagValue(In(), TIFFTAG_STRIPBYTECOUNTS, size / 2);
  ExpectFailure("", ConversionFailure::kDamagedTiff, "cannot read the pixels of " + In() + ": ");
}

// Colour spaces beyond RGB, each checked against the textbook formula for
// the samples written: lightness and luminance in sRGB, neutral samples gray;
// YCbCr by its coefficients.
TEST_F(ImageConversionTest, OtherColorSpacesFollowTheirFormulas) {
  constexpr uint32_t kWidth = 32;
  constexpr uint32_t kHeight = 16;
  const std::vector<uint16_t> levels = testing::PatternSamples(kWidth * kHeight, 40, 9);
  const auto level = [&](uint32_t x, uint32_t y) { return levels[y * kWidth + x] / 39.0; };
  const auto gray = [](double linear) {  // sRGB's transfer curve
    const double encoded =
        linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
    return Gray(static_cast<int>(std::lround(255 * std::min(encoded, 1.0))));
  };
  struct Case {
    const char* name;
    FixturePage page;
    std::function<GifColor(uint32_t x, uint32_t y)> want;
    int tolerance;
  };
  std::vector<Case> cases;
  for (const int bits : {8, 16}) {
    // Neutral lightness: a* = b* = 0.
    FixturePage lab{.width = kWidth,
                    .height = kHeight,
                    .bits_per_sample = static_cast<uint16_t>(bits),
                    .samples_per_pixel = 3,
                    .photometric = PHOTOMETRIC_CIELAB};
    std::vector<double> values;
    for (uint32_t i = 0; i < kWidth * kHeight; ++i) {
      values.insert(values.end(), {levels[i] * (bits == 8 ? 6.0 : 1600.0), 0, 0});
    }
    lab.samples = testing::EncodeSamples(values, bits, SAMPLEFORMAT_UINT, kWidth * 3);
    cases.push_back({bits == 8 ? "8-bit CIELab" : "16-bit CIELab", lab,
                     [&, bits](uint32_t x, uint32_t y) {
                       const double lightness =
                           levels[y * kWidth + x] * (bits == 8 ? 6.0 / 255 : 1600.0 / 65535) * 100;
                       const double f = (lightness + 16) / 116;
                       return gray(lightness > 8 ? f * f * f : lightness / 903.3);
                     },
                     1});
  }
  FixturePage log_l{.width = kWidth,
                    .height = kHeight,
                    .bits_per_sample = 32,
                    .photometric = PHOTOMETRIC_LOGL,
                    .compression = COMPRESSION_SGILOG,
                    .sample_format = SAMPLEFORMAT_IEEEFP};
  FixturePage log_luv = log_l;
  log_luv.photometric = PHOTOMETRIC_LOGLUV;
  log_luv.samples_per_pixel = 3;
  std::vector<double> luminance;
  std::vector<double> xyz;
  for (uint32_t y = 0; y < kHeight; ++y) {
    for (uint32_t x = 0; x < kWidth; ++x) {
      const double value = 0.02 + 0.9 * level(x, y);
      luminance.push_back(value);
      xyz.insert(xyz.end(), {0.9505 * value, value, 1.089 * value});  // D65 white
    }
  }
  log_l.samples = testing::NativeBytes<float>(luminance);
  log_luv.samples = testing::NativeBytes<float>(xyz);
  // The encodings keep luminance to within about 1 %.
  const auto log_gray = [&](uint32_t x, uint32_t y) { return gray(0.02 + 0.9 * level(x, y)); };
  cases.push_back({"LogL", log_l, log_gray, 2});
  cases.push_back({"LogLuv", log_luv, log_gray, 2});
  // Blocks of 2 x 2: four Y, then Cb and Cr.
  FixturePage ycbcr{.width = kWidth,
                    .height = kHeight,
                    .samples_per_pixel = 3,
                    .photometric = PHOTOMETRIC_YCBCR,
                    .subsampled = true};
  for (uint32_t y = 0; y < kHeight; y += 2) {
    for (uint32_t x = 0; x < kWidth; x += 2) {
      for (uint32_t i = 0; i < 4; ++i) {
        ycbcr.samples.push_back(static_cast<uint8_t>(40 + 160 * level(x + i % 2, y + i / 2)));
      }
      ycbcr.samples.push_back(static_cast<uint8_t>(128 + (x % 8) * 8 - 24));
      ycbcr.samples.push_back(static_cast<uint8_t>(128 - (y % 8) * 6 + 12));
    }
  }
  cases.push_back({"YCbCr, subsampled", ycbcr,
                   [&](uint32_t x, uint32_t y) {
                     const double luma = static_cast<uint8_t>(40 + 160 * level(x, y));
                     const double cb = static_cast<int>(x / 2 * 2 % 8) * 8 - 24;
                     const double cr = 12 - static_cast<int>(y / 2 * 2 % 8) * 6.0;
                     const auto clamp = [](double v) {
                       return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
                     };
                     return GifColor{clamp(luma + 1.402 * cr),
                                     clamp(luma - 0.344136 * cb - 0.714136 * cr),
                                     clamp(luma + 1.772 * cb)};
                   },
                   3});  // libtiff's integer tables
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const GifImage gif = Convert({c.page});
    ASSERT_EQ(gif.width, kWidth);
    ASSERT_EQ(gif.height, kHeight);
    int worst = 0;
    for (uint32_t y = 0; y < kHeight; ++y) {
      for (uint32_t x = 0; x < kWidth; ++x) {
        const GifColor got = gif.ColorAt(x, y);
        const GifColor want = c.want(x, y);
        for (int channel = 0; channel < 3; ++channel) {
          worst = std::max(worst, std::abs(got[channel] - want[channel]));
        }
      }
    }
    EXPECT_LE(worst, c.tolerance);
  }
}

// The exact area average of the rectangle [left, right) x [top, bottom) of
// `values` (`width` x `height`, row by row; the rectangle in its pixels,
// fractions allowed) at `out_width` x `out_height`, in floating point: each
// output pixel the mean of the rectangle it covers, source pixels weighted
// by their overlap.
std::vector<double> RegionAverage(const std::vector<double>& values, uint32_t width,
                                  uint32_t height, double left, double top, double right,
                                  double bottom, uint32_t out_width, uint32_t out_height) {
  const double step_x = (right - left) / out_width;
  const double step_y = (bottom - top) / out_height;
  std::vector<double> result;
  for (uint32_t y = 0; y < out_height; ++y) {
    const double y0 = top + y * step_y;
    for (uint32_t x = 0; x < out_width; ++x) {
      const double x0 = left + x * step_x;
      double sum = 0;
      for (uint32_t sy = 0; sy < height; ++sy) {
        const double overlap_y = std::min<double>(sy + 1, y0 + step_y) - std::max<double>(sy, y0);
        for (uint32_t sx = 0; overlap_y > 0 && sx < width; ++sx) {
          const double overlap_x = std::min<double>(sx + 1, x0 + step_x) - std::max<double>(sx, x0);
          if (overlap_x > 0) {
            sum += values[sy * width + sx] * overlap_x * overlap_y;
          }
        }
      }
      result.push_back(sum / (step_x * step_y));
    }
  }
  return result;
}

std::vector<double> AreaAverage(const std::vector<double>& values, uint32_t width, uint32_t height,
                                uint32_t out_width, uint32_t out_height) {
  return RegionAverage(values, width, height, 0, 0, width, height, out_width, out_height);
}

TEST_F(ImageConversionTest, ReducedPagesAreTheAreaAverageOfTheirSource) {
  const struct {
    const char* kind;  // bilevel, gray, rgb or palette
    uint32_t width;
    uint32_t height;
    const char* extra;
    uint32_t out_width;
    uint32_t out_height;
    int levels;  // grays of a bilevel page
  } cases[] = {
      {"bilevel", 61, 37, ", width=20", 20, 12, 16},  // fractional both ways
      {"bilevel", 60, 36, ", width=20", 20, 12, 16},  // exactly a third
      {"bilevel", 203, 101, ", height=7, grays=5", 14, 7, 5},
      {"bilevel", 45, 33, ", width=44, grays=256", 44, 32, 256},  // barely smaller
      {"bilevel", 45, 33, ", width=30, grays=256, colors=4", 30, 22, 4},
      {"gray", 61, 37, ", width=20", 20, 12, 0},
      {"gray", 64, 48, ", width=16, height=100", 16, 12, 0},  // exactly a quarter
      {"gray", 29, 53, ", width=50, height=11", 6, 11, 0},    // the height decides
      {"rgb", 31, 23, ", width=9", 9, 7, 0},
      {"rgb", 64, 48, ", width=40", 40, 30, 0},  // more colours than a GIF holds
      {"palette", 33, 21, ", width=10", 10, 6, 0},
  };
  for (const auto& c : cases) {
    for (const uint16_t photometric : {PHOTOMETRIC_MINISWHITE, PHOTOMETRIC_MINISBLACK}) {
      const std::string kind = c.kind;
      if ((kind == "rgb" || kind == "palette") && photometric == PHOTOMETRIC_MINISWHITE) {
        continue;
      }
      SCOPED_TRACE(::testing::Message() << c.kind << " " << c.width << " x " << c.height << c.extra
                                        << ", photometric " << photometric);
      std::vector<uint16_t> values;
      FixturePage page;
      std::vector<std::vector<double>> channels;  // per channel, the displayed values
      if (kind == "rgb") {
        page = FixturePage{.width = c.width,
                           .height = c.height,
                           .samples_per_pixel = 3,
                           .photometric = PHOTOMETRIC_RGB,
                           .samples = testing::PhotoSamples(c.width, c.height)};
        channels.resize(3);
        for (size_t i = 0; i < page.samples.size(); ++i) {
          channels[i % 3].push_back(page.samples[i]);
        }
      } else if (kind == "palette") {
        page = PatternPage(c.width, c.height, 4, 16, &values);
        page.photometric = PHOTOMETRIC_PALETTE;
        channels.resize(3);
        for (uint16_t entry = 0; entry < 3 * 16; ++entry) {
          page.colormap.push_back(static_cast<uint16_t>(entry * 53 % 256 * 257));
        }
        for (const uint16_t value : values) {
          for (int channel = 0; channel < 3; ++channel) {
            channels[channel].push_back(page.colormap[channel * 16 + value] / 257);
          }
        }
      } else {
        const int bits = kind == "bilevel" ? 1 : 8;
        page = PatternPage(c.width, c.height, bits, 1u << bits, &values);
        page.photometric = photometric;
        channels.resize(1);
        for (const uint16_t value : values) {  // white as 1 or 255
          const double shown = bits == 1 ? value : value / 255.0;
          channels[0].push_back((photometric == PHOTOMETRIC_MINISWHITE ? 1 - shown : shown) *
                                (bits == 1 ? 1 : 255));
        }
      }
      // The PNG has the GIF's pixels, where they fit into the GIF's palette
      // (which a colors item limits, a PNG's not); else its own are checked.
      const GifImage gif = Convert({page}, c.extra);
      const std::string png = ConvertedBytes(c.extra + std::string(", format=png"));
      const Picture png_pixels = testing::DecodePng(png);
      const bool gif_exact = testing::ReadPngForm(png).color_type != kPngRgb;
      EXPECT_EQ(gif_exact, kind != "rgb" || c.width != 64);
      if (gif_exact && std::string(c.extra).find("colors") == std::string::npos) {
        EXPECT_EQ(testing::Differences(png_pixels, testing::PictureOfGif(gif)), 0);
      }
      ASSERT_EQ(png_pixels.width, c.out_width);
      ASSERT_EQ(png_pixels.height, c.out_height);
      int misses = 0;
      for (size_t channel = 0; channel < channels.size(); ++channel) {
        const std::vector<double> want =
            AreaAverage(channels[channel], c.width, c.height, c.out_width, c.out_height);
        for (size_t i = 0; i < want.size(); ++i) {
          const testing::Rgba8& pixel = png_pixels.pixels[i];
          const GifColor got =
              gif_exact ? gif.palette[gif.indices[i]] : GifColor{pixel[0], pixel[1], pixel[2]};
          double distance;
          if (kind == "bilevel") {  // the nearest level; the GIF's palette is the levels in order
            distance = std::abs(gif.indices[i] - want[i] * (c.levels - 1));
            if (got !=
                Gray(static_cast<int>(std::lround(gif.indices[i] * 255.0 / (c.levels - 1))))) {
              distance = 1;
            }
          } else {  // the nearest whole value
            distance = std::abs(got[channel] - want[i]);
          }
          if (distance > 0.5 + 1e-9) {
            ++misses;
          }
        }
      }
      EXPECT_EQ(misses, 0);
      if (kind == "bilevel") {
        EXPECT_EQ(gif.palette.size(), std::bit_ceil(static_cast<unsigned>(c.levels)));
      }
    }
  }
}

TEST_F(ImageConversionTest, UnevenResolutionsGiveSquarePixelsFromAFactorOf1Point2) {
  const struct {
    float x_resolution;
    float y_resolution;
    const char* extra;
    uint32_t width;
    uint32_t height;
  } cases[] = {
      {204, 98, "", 29, 20},   // a fax: 61 * 98 / 204 = 29.3
      {98, 204, "", 61, 10},   // the other way: 20 * 98 / 204 = 9.6
      {120, 100, "", 51, 20},  // exactly the factor: 61 / 1.2 = 50.8
      {119, 100, "", 61, 20},  // just below it
      {204, 196, "", 61, 20},  // a fine fax
      {204, 98, ", aspect=none", 61, 20},
      {204, 98, ", width=20", 20, 14},  // the box fits the square-pixel picture
      {0, 0, "", 61, 20},
  };
  std::vector<uint16_t> values;
  for (const uint16_t bits : {1, 8}) {
    for (const auto& c : cases) {
      FixturePage page = PatternPage(61, 20, bits, 1u << bits, &values);
      page.x_resolution = c.x_resolution;
      page.y_resolution = c.y_resolution;
      const GifImage gif = Convert({page}, c.extra);
      EXPECT_EQ(gif.width, c.width) << c.x_resolution << " x " << c.y_resolution << c.extra;
      EXPECT_EQ(gif.height, c.height) << c.x_resolution << " x " << c.y_resolution << c.extra;
    }
  }
}

TEST_F(ImageConversionTest, ATurnComposesWithTheOrientationTag) {
  // Turning a page `degrees` clockwise gives the image of the page tagged
  // with the orientation that does both, reduced or not: unreduced, the
  // exact pixels that orientation gives. Indices are turned before any
  // format's writer, so the GIF stands for all; a photo is tried as a PNG
  // and a JPEG too, its pixels turned as they are, for which a quarter turn
  // is enough: of the eight orientations it reaches all eight.
  std::vector<uint16_t> values;
  const FixturePage photo{.width = 23,
                          .height = 9,
                          .samples_per_pixel = 3,
                          .photometric = PHOTOMETRIC_RGB,
                          .samples = testing::PhotoSamples(23, 9)};
  for (FixturePage page :
       {PatternPage(23, 9, 1, 2, &values), PatternPage(23, 9, 8, 256, &values), photo}) {
    for (const std::string format : kFormats) {
      if ((page.samples_per_pixel == 3) == format.empty()) {
        continue;
      }
      for (const std::string box : {"", ", width=7"}) {
        for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
          for (const uint16_t degrees : {90, 180, 270}) {
            if (!format.empty() && degrees != 90) {
              continue;
            }
            SCOPED_TRACE(::testing::Message()
                         << page.bits_per_sample << " bits, " << page.samples_per_pixel
                         << " samples" << format << box << ", orientation " << orientation
                         << " turned " << degrees);
            page.orientation = orientation;
            testing::WriteTiff(In(), {page});
            const std::string turned =
                ConvertedBytes(format + box + ", rotate=" + std::to_string(degrees));
            page.orientation = TurnedClockwise(orientation, degrees);
            testing::WriteTiff(In(), {page});
            EXPECT_EQ(turned, ConvertedBytes(format + box));
          }
        }
      }
    }
  }
}

// Pixels [x, x + width) x [y, y + height) of `picture`.
Picture Crop(const Picture& picture, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  Picture part{.width = width, .height = height, .pixels = {}};
  for (uint32_t row = y; row < y + height; ++row) {
    for (uint32_t column = x; column < x + width; ++column) {
      part.pixels.push_back(picture.pixels[row * picture.width + column]);
    }
  }
  return part;
}

// `picture` reflected left to right, then turned `degrees` clockwise.
Picture MirroredAndTurned(const Picture& picture, bool mirror, int degrees) {
  Picture result = picture;
  if (mirror) {
    for (uint32_t row = 0; row < picture.height; ++row) {
      for (uint32_t column = 0; column < picture.width; ++column) {
        result.pixels[row * picture.width + column] =
            picture.pixels[row * picture.width + picture.width - 1 - column];
      }
    }
  }
  for (int turned = 0; turned < degrees; turned += 90) {
    const Picture before = result;
    result.width = before.height;
    result.height = before.width;
    for (uint32_t row = 0; row < result.height; ++row) {
      for (uint32_t column = 0; column < result.width; ++column) {
        // The new row `row` is the old column `row`, read upwards.
        result.pixels[row * result.width + column] =
            before.pixels[(before.height - 1 - column) * before.width + row];
      }
    }
  }
  return result;
}

// One channel of a picture, as doubles.
std::vector<double> ChannelOf(const Picture& picture, int channel) {
  std::vector<double> values;
  for (const testing::Rgba8& pixel : picture.pixels) {
    values.push_back(pixel[channel]);
  }
  return values;
}

// A small page of each kind, as a fixture; `layout` 0 one strip, 1 strips
// of 4 rows (G4 for a bilevel page), 2 tiles of 16 x 16 (LZW).
FixturePage RegionTestPage(const std::string& kind, int layout, uint16_t orientation) {
  constexpr uint32_t kWidth = 37;
  constexpr uint32_t kHeight = 29;
  std::vector<uint16_t> values;
  FixturePage page;
  if (kind == "rgb") {
    page = FixturePage{.width = kWidth,
                       .height = kHeight,
                       .samples_per_pixel = 3,
                       .photometric = PHOTOMETRIC_RGB,
                       .samples = testing::PhotoSamples(kWidth, kHeight)};
  } else if (kind == "palette") {
    page = PatternPage(kWidth, kHeight, 4, 16, &values);
    page.photometric = PHOTOMETRIC_PALETTE;
    for (uint16_t entry = 0; entry < 3 * 16; ++entry) {
      page.colormap.push_back(static_cast<uint16_t>(entry * 53 % 256 * 257));
    }
  } else {
    const int bits = kind == "bilevel" ? 1 : 8;
    page = PatternPage(kWidth, kHeight, bits, 1u << bits, &values);
    page.photometric = PHOTOMETRIC_MINISWHITE;
  }
  if (layout == 1) {
    page.rows_per_strip = 4;
    if (kind == "bilevel") {
      page.compression = COMPRESSION_CCITTFAX4;
    }
  } else if (layout == 2) {
    page.tile_width = 16;
    page.tile_height = 16;
    page.compression = COMPRESSION_LZW;
  }
  page.orientation = orientation;
  return page;
}

TEST_F(ImageConversionTest, ARegionIsThosePixelsOfTheWholePageAveragedToItsSize) {
  // The reference: the whole page as a PNG (the Orientation tag applied),
  // cut, averaged exactly in doubles, reflected and turned.
  const struct {
    const char* items;
    uint32_t x, y, width, height;  // the region, cropped at the page's edge
    uint32_t out_width, out_height;
    bool mirror;
    int degrees;
  } cases[] = {
      {", region=0,0,1,1", 0, 0, 1, 1, 1, 1, false, 0},
      {", region=5,3,19,17", 5, 3, 19, 17, 19, 17, false, 0},
      {", region=20,9,100,100", 20, 9, 0, 0, 0, 0, false, 0},  // to the far edges
      {", region=5,3,19,17, size=7,6", 5, 3, 19, 17, 7, 6, false, 0},
      {", region=1,2,20,20, size=20,1", 1, 2, 20, 20, 20, 1, false, 0},
      {", size=5,4", 0, 0, 0, 0, 5, 4, false, 0},
      {", region=5,3,19,17, mirror=on", 5, 3, 19, 17, 19, 17, true, 0},
      {", region=5,3,19,17, mirror=on, rotate=90", 5, 3, 19, 17, 19, 17, true, 90},
      {", region=5,3,19,17, size=7,6, rotate=270", 5, 3, 19, 17, 7, 6, false, 270},
      {", region=4,4,12,12, size=5,5, mirror=on, rotate=180", 4, 4, 12, 12, 5, 5, true, 180},
  };
  for (const std::string kind : {"bilevel", "gray", "palette", "rgb"}) {
    for (int layout = 0; layout < 3; ++layout) {
      for (const uint16_t orientation : {1, 3, 6, 8}) {
        testing::WriteTiff(In(), {RegionTestPage(kind, layout, orientation)});
        const Picture page = testing::DecodePng(ConvertedBytes(", format=png"));
        for (const auto& c : cases) {
          SCOPED_TRACE(::testing::Message() << kind << ", layout " << layout << ", orientation "
                                            << orientation << c.items);
          const uint32_t width = c.width != 0 ? c.width : page.width - c.x;
          const uint32_t height = c.height != 0 ? c.height : page.height - c.y;
          const uint32_t out_width = c.out_width != 0 ? c.out_width : width;
          const uint32_t out_height = c.out_height != 0 ? c.out_height : height;
          const Picture region = Crop(page, c.x, c.y, width, height);
          const Picture got =
              testing::DecodePng(ConvertedBytes(c.items + std::string(", format=png")));
          // Turned back, the output should be the region averaged.
          const Picture unturned = MirroredAndTurned(
              MirroredAndTurned(got, false, (360 - c.degrees) % 360), c.mirror, 0);
          ASSERT_EQ(unturned.width, out_width);
          ASSERT_EQ(unturned.height, out_height);
          if (out_width == width && out_height == height) {
            EXPECT_EQ(testing::Differences(got, MirroredAndTurned(region, c.mirror, c.degrees)), 0);
            continue;
          }
          int misses = 0;
          for (int channel = 0; channel < 3; ++channel) {
            const std::vector<double> want =
                AreaAverage(ChannelOf(region, channel), width, height, out_width, out_height);
            for (size_t i = 0; i < want.size(); ++i) {
              const double value = unturned.pixels[i][channel];
              // A bilevel page's share of white as one of 16 grays.
              const double distance =
                  kind == "bilevel" ? std::abs(value - want[i]) / 17 : std::abs(value - want[i]);
              if (distance > 0.5 + 1e-9 || (kind == "bilevel" && std::fmod(value, 17) != 0)) {
                ++misses;
              }
            }
          }
          EXPECT_EQ(misses, 0);
        }
      }
    }
  }
}

TEST_F(ImageConversionTest, APageTurnedOrAveragedInPartsIsTheSameImage) {
  // Held to be turned, or read again a row or a block of 64 columns at a
  // time; an averaged frame held between its survey and its writing, or
  // averaged again: the same bytes, for every kind of page, part, turn and
  // format.
  std::vector<uint16_t> values;
  // Wider than two blocks of 64 columns.
  FixturePage wide_gray = PatternPage(150, 9, 2, 4, &values);
  wide_gray.rows_per_strip = 2;
  FixturePage wide_bilevel = PatternPage(150, 11, 1, 2, &values);
  wide_bilevel.compression = COMPRESSION_CCITTFAX4;
  wide_bilevel.orientation = 7;
  std::vector<FixturePage> pages = {RegionTestPage("bilevel", 0, 6),
                                    RegionTestPage("gray", 2, 1),
                                    RegionTestPage("palette", 0, 8),
                                    RegionTestPage("rgb", 1, 1),
                                    PalettePage(8, 90, 40, true, &values),
                                    wide_gray,
                                    wide_bilevel};
  // Bilevel in every placement: turned packed or averaged.
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    pages.push_back(RegionTestPage("bilevel", 1, orientation));
  }
  const ConversionTuning held_least{.max_held_pixels = 50, .max_turned_bytes = 0};
  const ConversionTuning held_some{.max_held_pixels = 50, .max_turned_bytes = 100};
  for (const FixturePage& page : pages) {
    testing::WriteTiff(In(), {page});
    for (const char* items :
         {"", ", width=20", ", region=5,3,19,6", ", size=7,6, mirror=on",
          ", region=2,2,8,6, size=5,4, quality=bitonal", ", quality=gray, colors=16"}) {
      for (const char* turn : {"", ", rotate=90", ", rotate=180", ", rotate=270"}) {
        for (const std::string format : kFormats) {
          const std::string extra = items + std::string(turn) + format;
          SCOPED_TRACE(::testing::Message()
                       << page.width << " x " << page.height << " " << page.bits_per_sample
                       << " bits, orientation " << page.orientation << extra);
          const std::string whole = ConvertedBytes(extra);
          EXPECT_EQ(ConvertedBytes(extra, held_least), whole);
          EXPECT_EQ(ConvertedBytes(extra, held_some), whole);
        }
      }
    }
  }
}

TEST_F(ImageConversionTest, GrayAndBitonalQualitiesAreTheLuminanceAndItsHalf) {
  for (const std::string kind : {"bilevel", "gray", "palette", "rgb"}) {
    testing::WriteTiff(In(), {RegionTestPage(kind, 0, 1)});
    const Picture page = testing::DecodePng(ConvertedBytes(", format=png"));
    for (const std::string size : {"", ", size=6,5"}) {
      SCOPED_TRACE(kind + size);
      const std::string region = ", region=3,2,30,25" + size;
      const Picture color = testing::DecodePng(ConvertedBytes(region + ", format=png"));
      const Picture gray =
          testing::DecodePng(ConvertedBytes(region + ", quality=gray, format=png"));
      const Picture bitonal =
          testing::DecodePng(ConvertedBytes(region + ", quality=bitonal, format=png"));
      ASSERT_EQ(gray.pixels.size(), color.pixels.size());
      ASSERT_EQ(bitonal.pixels.size(), color.pixels.size());
      // The exact mean a bilevel page's bitonal pixel thresholds.
      const std::vector<double> share =
          AreaAverage(ChannelOf(Crop(page, 3, 2, 30, 25), 0), 30, 25, color.width, color.height);
      int misses = 0;
      for (size_t i = 0; i < color.pixels.size(); ++i) {
        const testing::Rgba8& c = color.pixels[i];
        const int luminance = (299 * c[0] + 587 * c[1] + 114 * c[2] + 500) / 1000;
        const testing::Rgba8& g = gray.pixels[i];
        const testing::Rgba8& b = bitonal.pixels[i];
        misses += g[0] != luminance || g[1] != luminance || g[2] != luminance;
        const bool white = kind == "bilevel" ? share[i] >= 127.5 : luminance >= 128;
        if (kind != "bilevel" || std::abs(share[i] - 127.5) > 1e-6) {
          misses += b[0] != (white ? 255 : 0) || b[1] != b[0] || b[2] != b[0];
        }
      }
      EXPECT_EQ(misses, 0);
    }
  }
}

TEST_F(ImageConversionTest, AStretchedGridEnlargesTheSparserAxisByTheAreaMean) {
  // A fax at 204 x 98 dpi: rows 204 / 98 as high as its columns are wide.
  const struct {
    uint32_t width, height;
    float x_resolution, y_resolution;
    uint32_t grid_width, grid_height;
  } cases[] = {
      {1728, 1123, 204, 98, 1728, 2338},  // the image service's grid exactly
      {13, 7, 204, 98, 13, 15},           // 7 * 204 / 98 = 14.57
      {13, 7, 98, 204, 27, 7},            // 13 * 204 / 98 = 27.06
      {13, 7, 119, 100, 13, 7},           // below the factor: as stored
      {13, 7, 120, 100, 13, 8},           // at it: 7 * 1.2 = 8.4
  };
  std::vector<uint16_t> values;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << " at " << c.x_resolution
                                      << " x " << c.y_resolution);
    for (const int bits : {1, 8}) {
      FixturePage page = PatternPage(c.width, c.height, bits, 1u << bits, &values);
      page.x_resolution = c.x_resolution;
      page.y_resolution = c.y_resolution;
      testing::WriteTiff(In(), {page});
      const Picture stored = testing::DecodePng(ConvertedBytes(", aspect=none, format=png"));
      const Picture grid = testing::DecodePng(ConvertedBytes(", aspect=stretch, format=png"));
      ASSERT_EQ(grid.width, c.grid_width);
      ASSERT_EQ(grid.height, c.grid_height);
      if (c.width > 100) {
        continue;
      }
      const std::vector<double> want =
          AreaAverage(ChannelOf(stored, 0), c.width, c.height, c.grid_width, c.grid_height);
      // A region of the grid at a size: the mean of the page's area it
      // covers, a grid pixel cut by its edges counted by the stored pixels
      // under the part it covers.
      const Picture part = testing::DecodePng(
          ConvertedBytes(", aspect=stretch, region=2,3,9,4, size=4,3, format=png"));
      const double across = static_cast<double>(c.width) / c.grid_width;
      const double down = static_cast<double>(c.height) / c.grid_height;
      const std::vector<double> want_part =
          RegionAverage(ChannelOf(stored, 0), c.width, c.height, 2 * across, 3 * down, 11 * across,
                        7 * down, 4, 3);
      // Bilevel pages: one of 16 grays, 17 apart, unless the grid is the page.
      const bool exact = c.grid_width == c.width && c.grid_height == c.height;
      const double level = bits == 1 && !exact ? 17 : 1;
      int misses = 0;
      for (size_t i = 0; i < want.size(); ++i) {
        misses += std::abs(grid.pixels[i][0] - want[i]) / level > 0.5 + 1e-9;
      }
      for (size_t i = 0; i < want_part.size(); ++i) {
        misses += std::abs(part.pixels[i][0] - want_part[i]) / (bits == 1 ? 17 : 1) > 0.5 + 1e-9;
      }
      EXPECT_EQ(misses, 0);
    }
  }
}

TEST_F(ImageConversionTest, ARegionReadsNoStripOrTileAboveOrBesideIt) {
  // The first strip or tile made unreadable: a region clear of it converts,
  // one that touches it fails.
  const struct {
    int layout;
    uint16_t offsets;
    const char* clear;
    const char* touching;
  } cases[] = {
      {1, TIFFTAG_STRIPOFFSETS, ", region=0,4,37,3", ", region=0,3,37,3"},
      {2, TIFFTAG_TILEOFFSETS, ", region=16,0,21,29", ", region=15,15,2,2"},
      {2, TIFFTAG_TILEOFFSETS, ", region=0,16,37,13", ", region=0,15,1,1"},
  };
  for (const std::string kind : {"bilevel", "gray", "rgb"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(kind + c.clear);
      FixturePage page = RegionTestPage(kind, c.layout, 1);
      page.compression = kind == "bilevel" ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW;
      testing::WriteTiff(In(), {page});
      testing::SetTagValueAt(In(), c.offsets, 0, 0x7ffffff0);
      EXPECT_NO_THROW(Run(std::string(c.clear) + ", format=png"));
      ExpectFailure(std::string(c.touching) + ", format=png", ConversionFailure::kDamagedTiff, "");
    }
  }
}

TEST_F(ImageConversionTest, RegionsOutsideThePageAndSizesBeyondThemAreRefused) {
  std::vector<uint16_t> values;
  testing::WriteTiff(In(), {PatternPage(13, 7, 1, 2, &values)});
  const struct {
    const char* items;
    const char* text;
  } cases[] = {
      {", region=13,0,1,1", "region outside the page (13 x 7)"},
      {", region=0,7,5,5", "region outside the page (13 x 7)"},
      {", region=12,6,5,5, size=2,1", "size larger than the region (1 x 1)"},
      {", size=14,7", "size larger than the region (13 x 7)"},
      {", region=0,0,4,4, size=4,5", "size larger than the region (4 x 4)"},
  };
  for (const auto& c : cases) {
    ExpectFailure(c.items, ConversionFailure::kBadParameter, c.text);
  }
}

TEST_F(ImageConversionTest, ABoxLargerThanThePageChangesNothing) {
  std::vector<uint16_t> values;
  for (const int bits : {1, 8}) {
    testing::WriteTiff(In(), {PatternPage(40, 30, bits, 1u << bits, &values)});
    Run("");
    const std::string plain = directory_.ReadFile("out.gif");
    for (const char* box :
         {", width=40", ", height=30", ", width=500, height=30", ", rotate=0, aspect=none"}) {
      Run(box);
      EXPECT_EQ(directory_.ReadFile("out.gif"), plain) << bits << box;
    }
  }
}

TEST_F(ImageConversionTest, DescribingListsEveryPageUpToTheLimit) {
  std::vector<uint16_t> values;
  const FixturePage tiny = PatternPage(2, 1, 1, 2, &values);
  testing::WriteTiff(In(), std::vector<FixturePage>(kMostDescribedPages + 2, tiny));
  DescribeImage(ParseConversionOptions("source=" + In() + ", dest=" + Out()));
  const std::string json = directory_.ReadFile("out.gif");
  EXPECT_EQ(json.rfind("{\"pages\":1002,\"page\":[{\"width\":2,", 0), 0u) << json.substr(0, 80);
  size_t listed = 0;
  for (size_t at = json.find("{\"width\""); at != std::string::npos;
       at = json.find("{\"width\"", at + 1)) {
    ++listed;
  }
  EXPECT_EQ(listed, kMostDescribedPages);
  EXPECT_EQ(json.substr(json.size() - 3), "}]}");
}

TEST_F(ImageConversionTest, PageAndColorsItemsChooseThePageAndLimitThePalette) {
  std::vector<uint16_t> values;
  const std::vector<FixturePage> pages = {PatternPage(20, 10, 1, 2, &values),
                                          PatternPage(30, 5, 8, 40, &values),
                                          FewColorsPage(7, 7, 3, 9)};
  GifImage gif = Convert(pages, ", page=2");
  EXPECT_EQ(gif.width, 30u);
  EXPECT_EQ(DifferencesFromLibtiff(gif, 2), 0);
  gif = Convert(pages, ", page=3, colors=9");
  EXPECT_EQ(gif.width, 7u);
  EXPECT_LE(gif.palette.size(), 16u);
  EXPECT_EQ(DifferencesFromLibtiff(gif, 3), 0);
  gif = Convert(pages, ", page=2, colors=16");  // 40 grays into 16 entries
  EXPECT_EQ(gif.palette.size(), 16u);
  EXPECT_GE(testing::Psnr(gif, testing::LibtiffRgba(In(), 2)), 20);
  ExpectFailure(", page=4", ConversionFailure::kNoSuchPage,
                "page 4 does not exist: " + In() + " has 3 pages");
  testing::WriteTiff(In(), {pages[0]});
  ExpectFailure(", page=2", ConversionFailure::kNoSuchPage, In() + " has 1 page");
}

TEST_F(ImageConversionTest, BadFilesFailWithTheirKindAndLeaveNothing) {
  std::vector<uint16_t> values;
  FixturePage g4 = PatternPage(100, 80, 1, 2, &values);
  g4.compression = COMPRESSION_CCITTFAX4;
  FixturePage jpeg = PatternPage(64, 64, 8, 256, &values);
  jpeg.compression = COMPRESSION_JPEG;
  FixturePage mask = PatternPage(8, 8, 1, 2, &values);
  mask.photometric = PHOTOMETRIC_MASK;

  directory_.WriteFile("in.tif", "");
  ExpectFailure("", ConversionFailure::kNotTiff, "not a TIFF file: " + In());
  directory_.WriteFile("in.tif", "GIF89a and more");
  ExpectFailure("", ConversionFailure::kNotTiff, "not a TIFF file: " + In());
  directory_.WriteFile("in.tif", std::string("II*\0\x08\0\0\0", 8));
  ExpectFailure("", ConversionFailure::kDamagedTiff, "damaged TIFF file " + In());

  testing::WriteTiff(In(), {g4});
  directory_.WriteFile("in.tif", directory_.ReadFile("in.tif").substr(0, 300));
  ExpectFailure("", ConversionFailure::kDamagedTiff, "damaged TIFF file " + In());
  for (const FixturePage& page : {g4, jpeg}) {  // the data ends early
    testing::WriteTiff(In(), {page});
    testing::SetTagValue(In(), TIFFTAG_STRIPBYTECOUNTS,
                         testing::TagValue(In(), TIFFTAG_STRIPBYTECOUNTS) / 2);
    ExpectFailure("", ConversionFailure::kDamagedTiff, "cannot read the pixels of " + In() + ": ");
  }

  testing::WriteTiff(In(), {mask});
  ExpectFailure("", ConversionFailure::kUnsupportedTiff, "unsupported TIFF image in " + In());
  FixturePage byte_floats = PatternPage(8, 8, 8, 256, &values);
  byte_floats.sample_format = SAMPLEFORMAT_IEEEFP;
  testing::WriteTiff(In(), {byte_floats});
  ExpectFailure("", ConversionFailure::kUnsupportedTiff, "8-bit samples of sample format 3");
  testing::WriteTiff(In(), {g4});
  testing::SetTagValue(In(), TIFFTAG_COMPRESSION, 34712);
  ExpectFailure("", ConversionFailure::kUnsupportedTiff, "unsupported compression scheme 34712");

  testing::WriteTiff(In(), {g4});
  ExpectFailure(", maxpixels=7999", ConversionFailure::kImageTooLarge,
                "image too large: 100 x 80 pixels in " + In() + ", the limit is 7999");
  testing::SetTagValue(In(), TIFFTAG_IMAGEWIDTH, 20000);
  testing::SetTagValue(In(), TIFFTAG_IMAGELENGTH, 20000);
  ExpectFailure("", ConversionFailure::kImageTooLarge,
                "20000 x 20000 pixels in " + In() + ", the limit is 268435456");
  testing::WriteTiff(In(), {PatternPage(70000, 1, 1, 2, &values)});
  ExpectFailure("", ConversionFailure::kImageTooLarge,
                "70000 x 1 pixels in " + In() + ", a GIF allows at most 65535 on either side");
  ExpectFailure(
      ", format=png", ConversionFailure::kImageTooLarge,
      "70000 x 1 pixels in " + In() + ", the converter reads at most 65535 on either side");
  testing::WriteTiff(In(), {PatternPage(65501, 1, 1, 2, &values)});
  ExpectFailure(", format=jpg", ConversionFailure::kImageTooLarge,
                "65501 x 1 pixels in " + In() + ", a JPEG allows at most 65500 on either side");

  std::filesystem::remove(In());
  ExpectFailure("", ConversionFailure::kCannotReadSource,
                "open " + In() + ": No such file or directory");
}

TEST_F(ImageConversionTest, StripsOrTilesThatShareBytesOrStartInTheHeaderAreRefused) {
  std::vector<uint16_t> values;
  FixturePage strips = PatternPage(64, 64, 8, 256, &values);
  strips.rows_per_strip = 16;  // four strips of 1024 bytes
  FixturePage tiles = PatternPage(64, 64, 8, 256, &values);
  tiles.tile_width = tiles.tile_height = 32;  // four tiles of 1024 bytes
  constexpr int kEvery = -1;
  constexpr int kNone = -2;
  constexpr int kFileStart = -3;  // as `base`: offset 0
  const std::string shared = "strips or tiles that share bytes in " + In();
  const std::string in_header = "strips or tiles that start inside the header of " + In();
  const struct {
    const char* layout;
    const FixturePage& page;
    uint16_t offsets;
    int chunk;  // its offset becomes chunk `base`'s plus `delta`
    int base;
    uint32_t delta;
    uint32_t length;  // its new length, when not 0
    std::string error;
  } cases[] = {
      {"every strip at the first", strips, TIFFTAG_STRIPOFFSETS, kEvery, 0, 0, 0, shared},
      {"the last strip at the first", strips, TIFFTAG_STRIPOFFSETS, 3, 0, 0, 0, shared},
      {"a strip starting inside another", strips, TIFFTAG_STRIPOFFSETS, 1, 2, 1023, 0, shared},
      {"a tile at another", tiles, TIFFTAG_TILEOFFSETS, 2, 1, 0, 0, shared},
      {"a tile starting inside the first", tiles, TIFFTAG_TILEOFFSETS, 3, 0, 1, 0, shared},
      // libtiff reads a chunk at offset 0 from the file's first byte: the
      // header, then what follows, once for each such chunk.
      {"every strip at offset 0", strips, TIFFTAG_STRIPOFFSETS, kEvery, kFileStart, 0, 0,
       in_header},
      {"one strip at offset 0", strips, TIFFTAG_STRIPOFFSETS, 2, kFileStart, 0, 0, in_header},
      {"a tile at offset 7", tiles, TIFFTAG_TILEOFFSETS, 1, kFileStart, 7, 0, in_header},
      {"a strip at offset 0 of 1 byte", strips, TIFFTAG_STRIPOFFSETS, 3, kFileStart, 0, 1,
       in_header},
      {"strips as written", strips, TIFFTAG_STRIPOFFSETS, kNone, 0, 0, 0, ""},
      {"tiles as written", tiles, TIFFTAG_TILEOFFSETS, kNone, 0, 0, 0, ""},
      {"a strip right after the header", strips, TIFFTAG_STRIPOFFSETS, 0, kFileStart, 8, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout);
    testing::WriteTiff(In(), {c.page});
    const uint32_t moved_to =
        (c.base == kFileStart ? 0 : testing::TagValueAt(In(), c.offsets, c.base)) + c.delta;
    const uint16_t lengths =
        c.offsets == TIFFTAG_STRIPOFFSETS ? TIFFTAG_STRIPBYTECOUNTS : TIFFTAG_TILEBYTECOUNTS;
    for (int chunk = 0; chunk < 4; ++chunk) {
      if (chunk == c.chunk || (c.chunk == kEvery && chunk != c.base)) {
        testing::SetTagValueAt(In(), c.offsets, chunk, moved_to);
        if (c.length != 0) {
          testing::SetTagValueAt(In(), lengths, chunk, c.length);
        }
      }
    }
    if (c.error.empty()) {
      Run("");
      EXPECT_EQ(testing::DecodeGif(Out()).indices.size(), 64u * 64u) << c.layout;
    } else {
      ExpectFailure("", ConversionFailure::kDamagedTiff, c.error);
    }
  }
}

TEST_F(ImageConversionTest, PagesThatDecodeToFarMoreThanTheyStoreAreRefused) {
  // With the allowance lowered to 8 KiB, pages of 128 x 128 pixels meet
  // the ratio; at the default, the allowance of 64 MiB admits them.
  constexpr ConversionTuning kSmallAllowance{.max_decoded_bytes_at_any_ratio = 8 << 10};
  const auto flat = [](uint32_t width, uint32_t height, uint16_t samples, uint16_t photometric) {
    return FixturePage{.width = width,
                       .height = height,
                       .samples_per_pixel = samples,
                       .photometric = photometric,
                       .compression = COMPRESSION_ADOBE_DEFLATE,
                       .samples = std::vector<uint8_t>(size_t{width} * height * samples, 200)};
  };
  FixturePage palette = flat(128, 128, 1, PHOTOMETRIC_PALETTE);
  palette.colormap.assign(3 * 256, 0x8000);
  FixturePage tiled = flat(129, 129, 1, PHOTOMETRIC_MINISBLACK);
  tiled.tile_width = tiled.tile_height = 128;  // four tiles, decoded whole
  std::vector<uint16_t> values;
  FixturePage noise = PatternPage(128, 128, 8, 256, &values);  // stored as it is
  FixturePage blank = flat(1024, 1024, 1, PHOTOMETRIC_MINISWHITE);
  blank.bits_per_sample = 1;
  blank.compression = COMPRESSION_CCITTFAX4;
  blank.samples.assign(128 * 1024, 0);
  const struct {
    const char* page_kind;
    FixturePage page;
    const char* refusal;  // the message's middle, or nullptr where the page converts
  } cases[] = {
      {"gray", flat(128, 128, 1, PHOTOMETRIC_MINISBLACK),
       "128 x 128 pixels in IN decode to 16384 bytes, over 64 times the "},
      {"colour", flat(128, 128, 3, PHOTOMETRIC_RGB),
       "128 x 128 pixels in IN decode to 49152 bytes, over 64 times the "},
      // Its colormap alone is 1536 bytes: only what the strips hold counts.
      {"palette", palette, "128 x 128 pixels in IN decode to 16384 bytes, over 64 times the "},
      {"tiled", tiled, "129 x 129 pixels in IN decode to 65536 bytes, over 64 times the "},
      {"noise", noise, nullptr},  // 16384 bytes from as many
      // 131072 bytes from a few hundred: bilevel pages cost little at any ratio.
      {"blank bilevel", blank, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page_kind);
    testing::WriteTiff(In(), {c.page});
    if (c.refusal != nullptr) {
      std::string refusal = c.refusal;
      refusal.replace(refusal.find("IN"), 2, In());
      ExpectFailure("", ConversionFailure::kImageTooLarge, "image too large: " + refusal,
                    kSmallAllowance);
    } else {
      Run("", kSmallAllowance);
    }
    Run("");
    EXPECT_EQ(testing::DecodeGif(Out()).width, c.page.width);
  }
}

TEST_F(ImageConversionTest, AnUnwritableDestinationFailsBeforeDecoding) {
  ConversionOptions parameters;
  parameters.source = In();  // missing too: the destination is tried first
  parameters.dest = directory_.PathOf("no/out.gif");
  try {
    ConvertImage(parameters);
    ADD_FAILURE();
  } catch (const Error& error) {
    EXPECT_EQ(error.code(), static_cast<int32_t>(ConversionFailure::kCannotWriteDestination));
    EXPECT_EQ(error.description().rfind("create " + directory_.PathOf("no/.out.gif."), 0), 0u)
        << error.description();
  }
}

// Encoding on the worker thread in blocks of 60 bytes: one row of a page
// 50 pixels wide, four of its turned rows 13 wide, so that small pages fill
// the ring of blocks and wrap around it.
constexpr ConversionTuning kPipelined{.min_pipelined_pixels = 0, .pipeline_block_bytes = 60};
constexpr ConversionTuning kOneThread{.min_pipelined_pixels = UINT64_MAX};

TEST_F(ImageConversionTest, EncodingOnAWorkerThreadWritesTheSameGif) {
  const auto expect_same = [&](ConversionTuning one_thread, ConversionTuning pipelined) {
    for (const std::string format : kFormats) {
      EXPECT_EQ(ConvertedBytes(format, pipelined), ConvertedBytes(format, one_thread)) << format;
    }
  };
  std::vector<uint16_t> values;
  // Bilevel, gray, 8-bit palette, photo: every path through the converter,
  // in every format (the photo's pixels as they are in a PNG and a JPEG).
  const auto pages = [&](uint32_t height) {
    std::vector<FixturePage> all{PatternPage(50, height, 1, 2, &values),
                                 PatternPage(50, height, 8, 256, &values),
                                 PatternPage(50, height, 8, 90, &values),
                                 {.width = 50,
                                  .height = height,
                                  .samples_per_pixel = 3,
                                  .photometric = PHOTOMETRIC_RGB,
                                  .rows_per_strip = 3,
                                  .samples = testing::PhotoSamples(50, height)}};
    all[0].compression = COMPRESSION_CCITTFAX4;
    all[1].compression = COMPRESSION_LZW;
    all[2].photometric = PHOTOMETRIC_PALETTE;
    for (uint32_t i = 0; i < 3 * 256; ++i) {
      all[2].colormap.push_back(static_cast<uint16_t>((i * 37 + i / 256 * 91) % 256 * 257));
    }
    return all;
  };
  // Around the end of the ring (8 blocks) and past it; mirrored rows go one
  // by one, turned ones as a held frame; the photo of 200 rows is read in
  // bands of 66, surveyed on a worker too.
  const struct {
    uint32_t height;
    uint16_t orientation;
  } shapes[] = {{1, 1}, {8, 1}, {9, 1}, {40, 1}, {13, 2}, {13, 6}, {200, 1}};
  for (const auto& shape : shapes) {
    for (FixturePage& page : pages(shape.height)) {
      SCOPED_TRACE(::testing::Message()
                   << page.photometric << "/" << page.bits_per_sample << ", " << shape.height
                   << " rows, orientation " << shape.orientation);
      page.orientation = shape.orientation;
      testing::WriteTiff(In(), {page});
      expect_same(kOneThread, kPipelined);
    }
  }
  // Large enough to start the worker unasked, with GIF chunks written from it.
  testing::WriteTiff(In(), {PatternPage(640, kMinPipelinedPixels / 640, 8, 256, &values)});
  expect_same(kOneThread, {});
  EXPECT_GT(ConvertedBytes("").size(), size_t{200} << 10);
}

TEST_F(ImageConversionTest, DecodingThatFailsWhileAWorkerRunsLeavesNothing) {
  std::vector<uint16_t> values;
  FixturePage g4 = PatternPage(100, 80, 1, 2, &values);
  g4.compression = COMPRESSION_CCITTFAX4;
  FixturePage gray = PatternPage(100, 80, 8, 256, &values);
  gray.compression = COMPRESSION_LZW;
  for (const FixturePage& page : {g4, gray}) {
    testing::WriteTiff(In(), {page});
    testing::SetTagValue(In(), TIFFTAG_STRIPBYTECOUNTS,
                         testing::TagValue(In(), TIFFTAG_STRIPBYTECOUNTS) / 2);
    ExpectFailure("", ConversionFailure::kDamagedTiff, "cannot read the pixels of " + In() + ": ",
                  kPipelined);
  }
  // A photo of many strips, damaged halfway: the survey worker has counted
  // the bands before it and is stopped while it waits for the next.
  FixturePage photo{.width = 100,
                    .height = 80,
                    .samples_per_pixel = 3,
                    .photometric = PHOTOMETRIC_RGB,
                    .rows_per_strip = 3,
                    .samples = testing::PhotoSamples(100, 80)};
  photo.compression = COMPRESSION_LZW;
  testing::WriteTiff(In(), {photo});
  std::string bytes = directory_.ReadFile("in.tif");
  bytes.replace(bytes.size() / 2, 64, 64, '\xff');
  directory_.WriteFile("in.tif", bytes);
  ExpectFailure("", ConversionFailure::kDamagedTiff, "cannot read the pixels of " + In() + ": ",
                kPipelined);
}

}  // namespace
}  // namespace ostrel

namespace ostrel {
namespace {

// The GIF that ConvertPage writes for a TIFF file held in memory.
std::string ConvertInMemory(const std::string& tiff_bytes, const std::string& extra = "") {
  const auto* data = reinterpret_cast<const uint8_t*>(tiff_bytes.data());
  TiffReader reader(
      TiffFile::FromMemory(std::span<const uint8_t>(data, tiff_bytes.size()), "memory.tif"),
      ParseConversionOptions("source=m, dest=n" + extra).page);
  std::string gif;
  ConvertPage(reader, ParseConversionOptions("source=m, dest=n" + extra),
              [&gif](std::string_view bytes) { gif.append(bytes); });
  return gif;
}

TEST_F(ImageConversionTest, AFileHeldInMemoryConvertsToTheSameGif) {
  std::vector<uint16_t> values;
  FixturePage tiled_gray = PatternPage(70, 33, 8, 200, &values);
  tiled_gray.tile_width = tiled_gray.tile_height = 16;
  FixturePage bilevel = PatternPage(37, 20, 1, 2, &values);
  bilevel.compression = COMPRESSION_CCITTFAX4;
  const std::vector<std::vector<FixturePage>> files = {{bilevel},
                                                       {tiled_gray},
                                                       {FewColorsPage(40, 30, 3, 600)},
                                                       {bilevel, FewColorsPage(9, 9, 4, 5)}};
  for (const auto& pages : files) {
    for (const std::string extra : {"", ", page=2"}) {
      if (extra.empty() == (pages.size() > 1)) {
        continue;
      }
      testing::WriteTiff(In(), pages);
      Run(extra);
      EXPECT_EQ(ConvertInMemory(directory_.ReadFile("in.tif"), extra),
                directory_.ReadFile("out.gif"))
          << pages.size() << " pages" << extra;
    }
  }
}

TEST_F(ImageConversionTest, AWriteThatFailsStopsEveryFormatOnEitherThread) {
  // Large enough that each format hands bytes over before its last row,
  // from the worker thread when there is one.
  testing::WriteTiff(In(), {{.width = 640,
                             .height = 480,
                             .samples_per_pixel = 3,
                             .photometric = PHOTOMETRIC_RGB,
                             .samples = testing::PhotoSamples(640, 480)}});
  const std::string tiff = directory_.ReadFile("in.tif");
  const auto* data = reinterpret_cast<const uint8_t*>(tiff.data());
  for (const std::string format : kFormats) {
    for (const ConversionTuning& tuning : {kOneThread, kPipelined}) {
      SCOPED_TRACE(format + (tuning.min_pipelined_pixels == 0 ? ", pipelined" : ""));
      TiffReader reader(TiffFile::FromMemory(std::span<const uint8_t>(data, tiff.size()), "m"), 1);
      size_t calls = 0;
      try {
        ConvertPage(
            reader, ParseConversionOptions("source=m, dest=n" + format),
            [&calls](std::string_view) {
              ++calls;
              throw ConversionError(ConversionFailure::kCannotWriteDestination, "full");
            },
            tuning);
        ADD_FAILURE() << "converted";
      } catch (const Error& error) {
        EXPECT_EQ(error.code(), static_cast<int32_t>(ConversionFailure::kCannotWriteDestination));
        EXPECT_EQ(error.description(), "full");
      }
      EXPECT_EQ(calls, 1u);
    }
  }
}

TEST_F(ImageConversionTest, AnImageThatPassesItsByteBoundIsRefusedAndLeavesNothing) {
  testing::WriteTiff(In(), {{.width = 640,
                             .height = 480,
                             .samples_per_pixel = 3,
                             .photometric = PHOTOMETRIC_RGB,
                             .samples = testing::PhotoSamples(640, 480)}});
  for (const std::string format : kFormats) {
    for (const ConversionTuning& tuning : {kOneThread, kPipelined}) {
      SCOPED_TRACE(format + (tuning.min_pipelined_pixels == 0 ? ", pipelined" : ""));
      const std::string whole = ConvertedBytes(format, tuning);
      ConversionOptions parameters =
          ParseConversionOptions("source=" + In() + ", dest=" + Out() + format);
      // Exactly as many bytes as the image takes: written as without a bound.
      parameters.max_image_bytes = whole.size();
      ConvertImage(parameters, tuning);
      EXPECT_EQ(directory_.ReadFile("out.gif"), whole);
      // One byte fewer: refused, and nothing is left, an older file neither.
      parameters.max_image_bytes = whole.size() - 1;
      const Error error = testing::RaisedError([&] { ConvertImage(parameters, tuning); });
      EXPECT_EQ(error.source(), ErrorSource::kConverterStatus);
      EXPECT_EQ(error.code(), static_cast<int32_t>(ConversionFailure::kImageTooLarge));
      EXPECT_EQ(error.description(), "image too large: the image of " + In() + " takes more than " +
                                         std::to_string(whole.size() - 1) + " bytes, the limit");
      EXPECT_EQ(directory_.List(), std::vector<std::string>{"in.tif"});
    }
  }
  // The environment's value: digits alone, or nothing for no bound.
  EXPECT_EQ(ParseMaxImageBytes(""), 0u);
  EXPECT_EQ(ParseMaxImageBytes("268435456"), 268435456u);
  for (const char* bad : {"0", "-1", "1e9", " 5", "99999999999999999999"}) {
    EXPECT_EQ(testing::RaisedError([&] { (void)ParseMaxImageBytes(bad); }).code(),
              static_cast<int32_t>(ConversionFailure::kBadParameter))
        << bad;
  }
}

TEST(MemoryTiffReaderTest, DamagedBytesFailWithTheirKind) {
  const struct {
    std::string bytes;
    ConversionFailure failure;
  } cases[] = {
      {"", ConversionFailure::kNotTiff},
      {"II*", ConversionFailure::kNotTiff},
      {std::string("II*\0\xff\xff\xff\x7f", 8), ConversionFailure::kDamagedTiff},
      {std::string("MM\0*\0\0\0\x08\0\0", 10), ConversionFailure::kDamagedTiff},
  };
  for (const auto& c : cases) {
    try {
      ConvertInMemory(c.bytes);
      ADD_FAILURE() << "no failure for " << c.bytes.size() << " bytes";
    } catch (const Error& error) {
      EXPECT_EQ(ExitStatusFor(error), static_cast<int>(c.failure)) << error.description();
    }
  }
}

}  // namespace
}  // namespace ostrel
