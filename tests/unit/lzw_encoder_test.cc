// Our GIF writer's LZW output against giflib: what giflib decodes must be
// exactly the indices that went in, and what giflib's own encoder gives.
#include "converter/lzw_encoder.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gif_lib.h>
#include <gtest/gtest.h>

#include "converter/gif_writer.h"
#include "converter/image_size.h"
#include "converter/palette.h"
#include "converter/rgb.h"
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

// A GIF of one row of `width` pixels around LzwEncoder's output.
std::string GifAround(const std::string& encoded, int bits, uint32_t width) {
  std::string gif = "GIF89a";
  gif += std::string{static_cast<char>(width),
                     static_cast<char>(width >> 8),
                     1,
                     0,
                     static_cast<char>(0x80 | (bits - 1)),
                     0,
                     0};
  gif += std::string(size_t{3} << bits, '\0');
  gif += std::string{0x2c, 0, 0, 0, 0, static_cast<char>(width), static_cast<char>(width >> 8),
                     1,    0, 0};
  return gif + encoded + ";";
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
      ASSERT_EQ(DecodeGifBytes(GifAround(bytes, bits, length)).indices, pixels)
          << bits << " bits, " << length << " pixels";
    }
  }
}

// The plain LZW loop, one look-up a pixel in a map, with the encoder's
// policy: a clear code first and whenever the table is full, widths grown
// as a decoder grows them, sub-blocks of 255 bytes.
std::string PlainLzw(const std::vector<uint8_t>& pixels, int bits) {
  const uint32_t clear = 1u << bits;
  std::vector<std::pair<uint32_t, int>> codes;  // code and width
  int width = bits + 1;
  uint32_t next = clear + 2;
  std::map<std::pair<uint32_t, uint32_t>, uint32_t> table;
  codes.emplace_back(clear, width);
  uint32_t prefix = pixels[0] & (clear - 1);
  for (size_t i = 1; i < pixels.size(); ++i) {
    const uint32_t index = pixels[i] & (clear - 1);
    const auto found = table.find({prefix, index});
    if (found != table.end()) {
      prefix = found->second;
      continue;
    }
    codes.emplace_back(prefix, width);
    if (next < 4096) {
      table[{prefix, index}] = next;
      width += next == (1u << width) ? 1 : 0;
      ++next;
    } else {
      codes.emplace_back(clear, width);
      table.clear();
      width = bits + 1;
      next = clear + 2;
    }
    prefix = index;
  }
  codes.emplace_back(prefix, width);
  width += next < 4096 && next == (1u << width) ? 1 : 0;
  codes.emplace_back(clear + 1, width);
  std::string data;
  uint64_t buffer = 0;
  int count = 0;
  for (const auto& [code, code_width] : codes) {
    buffer |= uint64_t{code} << count;
    for (count += code_width; count >= 8; count -= 8, buffer >>= 8) {
      data.push_back(static_cast<char>(buffer));
    }
  }
  if (count > 0) {
    data.push_back(static_cast<char>(buffer));
  }
  std::string out(1, static_cast<char>(bits));
  for (size_t at = 0; at < data.size(); at += 255) {
    const std::string block = data.substr(at, 255);
    out += static_cast<char>(block.size()) + block;
  }
  return out + '\0';
}

TEST(LzwEncoderTest, RunsGiveTheCodesOfThePlainLoop) {
  // Runs of every length from 1 to past a whole table's worth of one value,
  // of a few values, between noise; bits above the code size set at random.
  for (const int bits : {2, 3, 4, 5, 8}) {
    for (const uint32_t longest : {3u, 40u, 300u, 9000u, 200000u}) {
      uint64_t state = longest * 31 + bits;
      const auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
      };
      std::vector<uint8_t> pixels;
      while (pixels.size() < 300000) {
        const auto value = static_cast<uint8_t>(next() % (bits == 8 ? 3 : 1u << bits));
        const uint32_t length = next() % 4 == 0 ? 1 + next() % 3 : 1 + next() % longest;
        for (uint32_t i = 0; i < length; ++i) {
          pixels.push_back(static_cast<uint8_t>(value | (next() % 2 == 0 ? 0 : next() << bits)));
        }
      }
      std::string bytes;
      LzwEncoder encoder(bits, bytes);
      for (size_t start = 0; start < pixels.size();) {
        const size_t end = std::min(pixels.size(), start + 1 + next() % 5000);
        encoder.Put(std::span<const uint8_t>(pixels).subspan(start, end - start));
        start = end;
      }
      encoder.Finish();
      // Not ASSERT_EQ: a difference would print both outputs whole.
      ASSERT_TRUE(bytes == PlainLzw(pixels, bits)) << bits << " bits, runs up to " << longest;
      std::vector<uint8_t> indices(pixels);
      for (uint8_t& index : indices) {
        index &= static_cast<uint8_t>((1u << bits) - 1);
      }
      // The decoder sees the pixels as one row as wide as GIF allows.
      indices.resize(65535);
      pixels.resize(65535);
      std::string row;
      LzwEncoder row_encoder(bits, row);
      row_encoder.Put(pixels);
      row_encoder.Finish();
      ASSERT_EQ(DecodeGifBytes(GifAround(row, bits, 65535)).indices, indices);
    }
  }
}

}  // namespace
}  // namespace ostrel
