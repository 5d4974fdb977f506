// Our GIF writer's LZW output against giflib: what giflib decodes must be
// exactly the indices that went in, and what giflib's own encoder gives.
#include "converter/lzw_encoder.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include "converter/gif_writer.h"
#include "tests/support/gif_image.h"

namespace ostrel {
namespace {

using testing::DecodeGifBytes;
using testing::GifImage;

std::vector<uint8_t> Pattern(const std::string& kind, size_t count, int bits, uint32_t seed) {
  std::vector<uint8_t> pixels(count);
  uint64_t state = seed * 0x9e3779b97f4a7c15ULL + 1;
  const auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<uint32_t>(state);
  };
  const uint32_t levels = 1u << bits;
  for (size_t i = 0; i < count; ++i) {
    if (kind == "noise") {
      pixels[i] = static_cast<uint8_t>(next() % levels);
    } else if (kind == "runs") {  // long runs, as in scans and drawings
      pixels[i] = i == 0 || next() % 97 != 0 ? (i == 0 ? 0 : pixels[i - 1])
                                             : static_cast<uint8_t>(next() % levels);
    } else if (kind == "ramp") {
      pixels[i] = static_cast<uint8_t>((i / 3) % levels);
    } else {  // "flat"
      pixels[i] = static_cast<uint8_t>(levels - 1);
    }
  }
  return pixels;
}

std::string OurGif(uint32_t width, uint32_t height, int bits, const std::vector<uint8_t>& pixels) {
  std::string bytes;
  GifWriter gif(ImageSize{width, height},
                IndexedPalette{Palette(size_t{1} << bits, Rgb{}), std::nullopt},
                [&](std::string_view chunk) { bytes.append(chunk); });
  for (uint32_t y = 0; y < height; ++y) {
    gif.PutRow(std::span<const uint8_t>(pixels).subspan(size_t{y} * width, width));
  }
  gif.Finish();
  return bytes;
}

std::string GiflibGif(uint32_t width, uint32_t height, int bits, std::vector<uint8_t> pixels) {
  std::string bytes;
  int error = 0;
  GifFileType* gif = EGifOpen(
      &bytes,
      [](GifFileType* file, const GifByteType* data, int count) {
        static_cast<std::string*>(file->UserData)
            ->append(reinterpret_cast<const char*>(data), count);
        return count;
      },
      &error);
  std::vector<GifColorType> colors(size_t{1} << bits, GifColorType{0, 0, 0});
  ColorMapObject* map = GifMakeMapObject(static_cast<int>(colors.size()), colors.data());
  EXPECT_EQ(EGifPutScreenDesc(gif, static_cast<int>(width), static_cast<int>(height), bits, 0, map),
            GIF_OK);
  EXPECT_EQ(EGifPutImageDesc(gif, 0, 0, static_cast<int>(width), static_cast<int>(height), false,
                             nullptr),
            GIF_OK);
  EXPECT_EQ(EGifPutLine(gif, pixels.data(), static_cast<int>(pixels.size())), GIF_OK);
  GifFreeMapObject(map);
  EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
  return bytes;
}

TEST(LzwEncoderTest, GiflibDecodesExactlyWhatGiflibsEncoderGives) {
  struct Case {
    uint32_t width;
    uint32_t height;
  };
  // Sizes around the code width changes and past several table resets.
  const Case sizes[] = {{1, 1},   {2, 1},   {3, 1},   {5, 1},    {7, 3},    {250, 1},  {253, 2},
                        {509, 1}, {510, 1}, {511, 2}, {1021, 2}, {4093, 1}, {4097, 3}, {300, 301}};
  for (const int bits : {1, 2, 3, 4, 5, 7, 8}) {
    for (const char* kind : {"flat", "ramp", "runs", "noise"}) {
      for (const Case& size : sizes) {
        const std::vector<uint8_t> pixels =
            Pattern(kind, size_t{size.width} * size.height, bits, size.width + bits);
        const GifImage ours = DecodeGifBytes(OurGif(size.width, size.height, bits, pixels));
        const GifImage theirs = DecodeGifBytes(GiflibGif(size.width, size.height, bits, pixels));
        ASSERT_EQ(ours.indices, pixels)
            << bits << " bits, " << kind << ", " << size.width << " x " << size.height;
        ASSERT_EQ(ours.indices, theirs.indices);
        ASSERT_EQ(ours.palette.size(), size_t{1} << bits);
      }
    }
  }
}

// A strict decoder of LzwEncoder's output: giflib stops reading once it has
// the pixels, this one also checks that the end code comes at the width a
// decoder expects and that only padding bits follow it.
std::vector<uint8_t> StrictDecode(const std::string& encoded) {
  const int min_code_size = encoded.at(0);
  std::string data;
  size_t at = 1;
  while (encoded.at(at) != 0) {
    const auto length = static_cast<uint8_t>(encoded[at]);
    data += encoded.substr(at + 1, length);
    at += 1 + length;
  }
  EXPECT_EQ(at + 1, encoded.size()) << "bytes after the block terminator";
  const uint32_t clear = 1u << min_code_size;
  std::vector<std::vector<uint8_t>> table;
  std::vector<uint8_t> pixels;
  size_t bit = 0;
  int width = min_code_size + 1;
  int previous = -1;
  for (;;) {
    if (bit + width > data.size() * 8) {
      ADD_FAILURE() << "no end code";
      return pixels;
    }
    uint32_t code = 0;
    for (int i = 0; i < width; ++i, ++bit) {
      code |= ((static_cast<uint8_t>(data[bit / 8]) >> (bit % 8)) & 1u) << i;
    }
    if (code == clear) {
      table.assign(clear + 2, {});
      for (uint32_t i = 0; i < clear; ++i) {
        table[i] = {static_cast<uint8_t>(i)};
      }
      width = min_code_size + 1;
      previous = -1;
      continue;
    }
    if (code == clear + 1) {
      EXPECT_LT(data.size() * 8 - bit, 8u) << "more than padding after the end code";
      return pixels;
    }
    std::vector<uint8_t> entry;
    if (code < table.size() && (code < clear || code > clear + 1)) {
      entry = table[code];
    } else if (code == table.size() && previous >= 0) {
      entry = table[previous];
      entry.push_back(entry[0]);
    } else {
      ADD_FAILURE() << "code " << code << " not in the table of " << table.size();
      return pixels;
    }
    if (previous >= 0 && table.size() < 4096) {
      table.push_back(table[previous]);
      table.back().push_back(entry[0]);
      if (table.size() == (1u << width) && width < 12) {
        ++width;
      }
    }
    pixels.insert(pixels.end(), entry.begin(), entry.end());
    previous = static_cast<int>(code);
  }
}

TEST(LzwEncoderTest, EveryLengthEndsInStepWithTheDecoder) {
  // The last code and the end code fall at every position relative to the
  // code width changes; rows arrive in pieces of every length.
  for (const int bits : {2, 8}) {
    for (uint32_t length = 1; length <= 12000; length += length < 600 ? 1 : 13) {
      const std::vector<uint8_t> pixels = Pattern("noise", length, bits, length);
      std::string bytes;
      LzwEncoder encoder(bits, bytes);
      for (size_t start = 0; start < pixels.size(); start += start % 5 + 1) {
        const size_t end = std::min(pixels.size(), start + start % 5 + 1);
        encoder.Put(std::span<const uint8_t>(pixels).subspan(start, end - start));
      }
      encoder.Finish();
      ASSERT_EQ(StrictDecode(bytes), pixels) << bits << " bits, " << length << " pixels";
      std::string gif = "GIF89a";
      gif += std::string{static_cast<char>(length),
                         static_cast<char>(length >> 8),
                         1,
                         0,
                         static_cast<char>(0x80 | (bits - 1)),
                         0,
                         0};
      gif += std::string(size_t{3} << bits, '\0');
      gif += std::string{
          0x2c, 0, 0, 0, 0, static_cast<char>(length), static_cast<char>(length >> 8), 1, 0, 0};
      gif += bytes + ";";
      ASSERT_EQ(DecodeGifBytes(gif).indices, pixels) << bits << " bits, " << length << " pixels";
    }
  }
}

}  // namespace
}  // namespace ostrel
