#include "bench/tiff_corpus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string_view>

#include <tiffio.h>

#include "bench/bitmap_font.h"

namespace ostrel::bench {
namespace {

// splitmix64: small, fast and the same everywhere, unlike std's distributions.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

 private:
  uint64_t state_;
};

// Smooth noise in [0, 1]: random lattices interpolated bilinearly, several
// octaves summed with halving weights.
class FractalNoise {
 public:
  FractalNoise(uint64_t seed, int base_cells, int octaves) {
    Random random(seed);
    for (int octave = 0, cells = base_cells; octave < octaves; ++octave, cells *= 2) {
      Lattice lattice{cells, std::vector<double>(cells * cells)};
      for (double& value : lattice.values) {
        value = random.Unit();
      }
      lattices_.push_back(std::move(lattice));
    }
  }

  double At(double u, double v) const {
    double sum = 0;
    double weight = 0.5;
    double total = 0;
    for (const Lattice& lattice : lattices_) {
      sum += weight * lattice.At(u, v);
      total += weight;
      weight *= 0.5;
    }
    return sum / total;
  }

 private:
  struct Lattice {
    int cells;
    std::vector<double> values;
    // The lattice wraps around, so any u and v are valid.
    double At(double u, double v) const {
      const double x = (u - std::floor(u)) * cells;
      const double y = (v - std::floor(v)) * cells;
      const int x0 = std::min(static_cast<int>(x), cells - 1);
      const int y0 = std::min(static_cast<int>(y), cells - 1);
      const double fx = x - x0;
      const double fy = y - y0;
      const auto value = [&](int cx, int cy) { return values[(cy % cells) * cells + cx % cells]; };
      const double top = value(x0, y0) * (1 - fx) + value(x0 + 1, y0) * fx;
      const double bottom = value(x0, y0 + 1) * (1 - fx) + value(x0 + 1, y0 + 1) * fx;
      return top * (1 - fy) + bottom * fy;
    }
  };
  std::vector<Lattice> lattices_;
};

uint8_t ToByte(double value) { return static_cast<uint8_t>(std::clamp(value, 0.0, 255.0) + 0.5); }

struct Rgb {
  double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

// A landscape that stands in for a colour photograph: smooth sky, sun,
// clouds, textured hills and a lake, with sensor grain.
class Landscape {
 public:
  explicit Landscape(uint64_t seed)
      : clouds_(seed, 4, 6), texture_(seed + 1, 16, 5), ridge_(seed + 2, 3, 4), grain_(seed + 3) {}

  Rgb At(double u, double v) {
    const double far_ridge =
        0.48 + 0.06 * std::sin(u * 5.0 + 0.7) + 0.10 * (ridge_.At(u, 0.2) - 0.5);
    const double near_ridge =
        0.60 + 0.05 * std::sin(u * 9.0 + 2.1) + 0.12 * (ridge_.At(u, 0.8) - 0.5);
    Rgb color;
    if (v > 0.82) {
      const double ripple = 0.5 + 0.5 * std::sin(v * 900.0 + 12.0 * texture_.At(u, v));
      color = Mix({30, 70, 120}, {90, 140, 180}, 0.35 * ripple + 0.3 * (v - 0.82) / 0.18);
    } else if (v > near_ridge) {
      const double shade = texture_.At(u * 2, v * 2);
      color = Mix({40, 90, 35}, {150, 160, 70}, shade);
      color = Mix(color, {70, 50, 30}, std::clamp((v - near_ridge) * 3.0, 0.0, 0.6));
    } else if (v > far_ridge) {
      color = Mix({70, 110, 120}, {110, 140, 130}, texture_.At(u * 3, v * 3));
    } else {
      color = Mix({60, 110, 200}, {200, 220, 240}, v / std::max(far_ridge, 0.01));
      const double cloud = std::clamp((clouds_.At(u, v * 2) - 0.5) * 3.0, 0.0, 1.0);
      color = Mix(color, {250, 250, 252}, cloud);
      const double sun = std::hypot(u - 0.75, (v - 0.2) * 1.5);
      color = Mix(color, {255, 244, 210}, std::exp(-sun / 0.05));
    }
    const double noise = (grain_.Unit() - 0.5) * 8.0;
    return {color.r + noise, color.g + noise, color.b + noise};
  }

 private:
  FractalNoise clouds_;
  FractalNoise texture_;
  FractalNoise ridge_;
  Random grain_;
};

// One byte per pixel, for the pages that are drawn before they are written.
struct Canvas {
  Canvas(uint32_t w, uint32_t h, uint8_t fill) : width(w), height(h), pixels(size_t{w} * h, fill) {}

  void FillRect(int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint8_t value) {
    x0 = std::max<int64_t>(x0, 0);
    y0 = std::max<int64_t>(y0, 0);
    x1 = std::min<int64_t>(x1, width);
    y1 = std::min<int64_t>(y1, height);
    for (int64_t y = y0; y < y1; ++y) {
      std::fill_n(&pixels[y * width + x0], std::max<int64_t>(x1 - x0, 0), value);
    }
  }

  uint32_t width;
  uint32_t height;
  std::vector<uint8_t> pixels;
};

int TextWidth(std::string_view text, int scale_x) {
  return static_cast<int>(text.size()) * (kGlyphWidth + 1) * scale_x;
}

void DrawText(Canvas& canvas, int x, int y, int scale_x, int scale_y, std::string_view text,
              uint8_t ink) {
  for (const char character : text) {
    const auto rows = GlyphRows(character);
    for (int gy = 0; gy < kGlyphHeight; ++gy) {
      for (int gx = 0; gx < kGlyphWidth; ++gx) {
        if ((rows[gy] >> (kGlyphWidth - 1 - gx)) & 1) {
          canvas.FillRect(x + gx * scale_x, y + gy * scale_y, x + (gx + 1) * scale_x,
                          y + (gy + 1) * scale_y, ink);
        }
      }
    }
    x += (kGlyphWidth + 1) * scale_x;
  }
}

constexpr std::string_view kWords[] = {
    "THE",      "SCANNED",   "PAGE",  "SHOWS", "A",        "LETTER",  "FROM",     "OUR",
    "ARCHIVE",  "WITH",      "NOTES", "ON",    "EACH",     "INVOICE", "AND",      "ITS",
    "ORDER",    "NUMBER",    "DATED", "12",    "MARCH",    "2026",    "PLEASE",   "KEEP",
    "THIS",     "COPY",      "FOR",   "YOUR",  "RECORDS.", "TOTAL:",  "4,250.00", "PAID",
    "RECEIVED", "SIGNED",    "BY",    "CLERK", "OFFICE",   "FILE",    "NO.",      "1187/B",
    "REVIEW",   "SCHEDULED", "NEXT",  "WEEK,", "IN",       "ROOM",    "14.",      "ALL",
    "ITEMS",    "LISTED",    "BELOW", "ARE",   "DUE",      "WITHIN",  "30",       "DAYS.",
};

// A page of text: a title, a rule, paragraphs of words and a page number.
// Paragraphs stop above `text_bottom`.
void LayOutTextPage(Canvas& page, int scale_x, int scale_y, uint64_t seed, std::string_view title,
                    int page_number, uint8_t ink, int text_bottom) {
  Random random(seed);
  const int margin = static_cast<int>(page.width / 12);
  const int line_height = (kGlyphHeight + 5) * scale_y;
  int y = static_cast<int>(page.height / 14);
  DrawText(page, margin, y, scale_x * 2, scale_y * 2, title, ink);
  y += 2 * line_height + scale_y * 4;
  page.FillRect(margin, y, page.width - margin, y + std::max(1, scale_y), ink);
  y += line_height;
  const int right = static_cast<int>(page.width) - margin;
  const int bottom = std::min(text_bottom, static_cast<int>(page.height) - 3 * line_height);
  while (y + line_height < bottom) {
    const int lines = 3 + static_cast<int>(random.Below(5));
    for (int line = 0; line < lines && y + line_height < bottom; ++line) {
      int x = margin + (line == 0 ? 4 * (kGlyphWidth + 1) * scale_x : 0);
      const int end = line == lines - 1 ? right - static_cast<int>(random.Below(right / 2)) : right;
      for (;;) {
        const std::string_view word = kWords[random.Below(std::size(kWords))];
        if (x + TextWidth(word, scale_x) > end) {
          break;
        }
        DrawText(page, x, y, scale_x, scale_y, word, ink);
        x += TextWidth(word, scale_x) + (kGlyphWidth + 1) * scale_x;
      }
      y += line_height;
    }
    y += line_height / 2;
  }
  const std::string footer = "PAGE " + std::to_string(page_number);
  DrawText(page, (static_cast<int>(page.width) - TextWidth(footer, scale_x)) / 2,
           static_cast<int>(page.height) - 2 * line_height, scale_x, scale_y, footer, ink);
}

void AddSpeckles(Canvas& page, uint64_t seed, uint32_t count) {
  Random random(seed);
  for (uint32_t i = 0; i < count; ++i) {
    page.pixels[random.Below(static_cast<uint32_t>(page.pixels.size()))] = 1;
  }
}

int TextScale(uint32_t width) { return std::max(1, static_cast<int>(std::lround(width / 600.0))); }

// --- Writing ---------------------------------------------------------------

struct Layout {
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t samples = 1;
  uint16_t bits = 8;
  uint16_t photometric = PHOTOMETRIC_MINISBLACK;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t predictor = PREDICTOR_NONE;
  bool alpha = false;
  uint32_t tile_size = 0;       // 0: strips
  uint32_t rows_per_strip = 0;  // 0: libtiff's default (64 for bilevel pages)
  // Deflate and ZSTD at their strongest levels; LZMA at preset 1, which makes
  // the hostile pages as small as its default and many times faster.
  bool strong = false;
  float x_dpi = 300;
  float y_dpi = 300;
  const std::vector<uint16_t>* colormap = nullptr;  // red, green, blue, 2^bits entries each
};

// Fills one row's bytes, `row` counted from the top.
using RowFunction = std::function<void(uint32_t row, uint8_t* bytes)>;

size_t RowBytes(const Layout& layout) {
  return (size_t{layout.width} * layout.samples * layout.bits + 7) / 8;
}

void Check(bool ok, const std::string& what) {
  if (!ok) {
    throw std::runtime_error(what);
  }
}

void SetTags(TIFF* tiff, const Layout& layout, uint16_t page, uint16_t pages) {
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, layout.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, layout.height);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samples);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, layout.compression);
  TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, layout.x_dpi);
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, layout.y_dpi);
  if (layout.predictor != PREDICTOR_NONE) {
    TIFFSetField(tiff, TIFFTAG_PREDICTOR, layout.predictor);
  }
  if (layout.strong && layout.compression == COMPRESSION_ADOBE_DEFLATE) {
    TIFFSetField(tiff, TIFFTAG_ZIPQUALITY, 9);
  } else if (layout.strong && layout.compression == COMPRESSION_LZMA) {
    TIFFSetField(tiff, TIFFTAG_LZMAPRESET, 1);
  } else if (layout.strong && layout.compression == COMPRESSION_ZSTD) {
    TIFFSetField(tiff, TIFFTAG_ZSTD_LEVEL, 19);
  }
  if (layout.photometric == PHOTOMETRIC_SEPARATED) {
    TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
  }
  if (layout.alpha) {
    const uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  if (layout.colormap != nullptr) {
    const size_t entries = size_t{1} << layout.bits;
    const uint16_t* map = layout.colormap->data();
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map, map + entries, map + 2 * entries);
  }
  if (pages > 1) {
    TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tiff, TIFFTAG_PAGENUMBER, page, pages);
  }
  if (layout.tile_size != 0) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, layout.tile_size);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, layout.tile_size);
  } else {
    // Bilevel strips of 64 rows keep a reader's strip buffer small.
    const uint32_t rows = layout.rows_per_strip != 0 ? layout.rows_per_strip
                          : layout.bits == 1         ? 64
                                                     : TIFFDefaultStripSize(tiff, 0);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::min(rows, layout.height));
  }
}

void WriteImage(TIFF* tiff, const Layout& layout, const RowFunction& row_function) {
  const size_t row_bytes = RowBytes(layout);
  if (layout.tile_size == 0) {
    std::vector<uint8_t> row(row_bytes);
    for (uint32_t y = 0; y < layout.height; ++y) {
      row_function(y, row.data());
      Check(TIFFWriteScanline(tiff, row.data(), y, 0) == 1, "TIFFWriteScanline failed");
    }
    return;
  }
  // Tiles need whole rows of tiles; bits per pixel is a whole number of bytes here.
  const size_t pixel_bytes = size_t{layout.samples} * layout.bits / 8;
  const uint32_t tile = layout.tile_size;
  std::vector<uint8_t> band(row_bytes * tile);
  std::vector<uint8_t> tile_buffer(size_t{tile} * tile * pixel_bytes);
  for (uint32_t ty = 0; ty < layout.height; ty += tile) {
    std::fill(band.begin(), band.end(), 0);
    for (uint32_t y = ty; y < std::min(ty + tile, layout.height); ++y) {
      row_function(y, &band[(y - ty) * row_bytes]);
    }
    for (uint32_t tx = 0; tx < layout.width; tx += tile) {
      std::fill(tile_buffer.begin(), tile_buffer.end(), 0);
      const uint32_t columns = std::min(tile, layout.width - tx);
      for (uint32_t y = 0; y < tile && ty + y < layout.height; ++y) {
        std::copy_n(&band[y * row_bytes + tx * pixel_bytes], columns * pixel_bytes,
                    &tile_buffer[y * tile * pixel_bytes]);
      }
      Check(TIFFWriteTile(tiff, tile_buffer.data(), tx, ty, 0, 0) >= 0, "TIFFWriteTile failed");
    }
  }
}

struct Page {
  Layout layout;
  RowFunction rows;
};

void WriteTiff(const std::string& path, const std::vector<Page>& pages) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  Check(tiff != nullptr, "cannot create " + path);
  try {
    for (size_t i = 0; i < pages.size(); ++i) {
      SetTags(tiff, pages[i].layout, static_cast<uint16_t>(i), static_cast<uint16_t>(pages.size()));
      WriteImage(tiff, pages[i].layout, pages[i].rows);
      Check(TIFFWriteDirectory(tiff) == 1, "TIFFWriteDirectory failed for " + path);
    }
  } catch (...) {
    TIFFClose(tiff);
    throw;
  }
  TIFFClose(tiff);
}

// --- The images ------------------------------------------------------------

// Ink (1) and paper (0) packed eight pixels a byte, ink as 1 (white is zero).
RowFunction PackedBilevelRows(std::shared_ptr<const Canvas> canvas) {
  return [canvas](uint32_t y, uint8_t* bytes) {
    const uint8_t* row = &canvas->pixels[size_t{y} * canvas->width];
    std::fill_n(bytes, (canvas->width + 7) / 8, 0);
    for (uint32_t x = 0; x < canvas->width; ++x) {
      if (row[x] != 0) {
        bytes[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
    }
  };
}

Page TextPage(uint32_t width, uint32_t height, float x_dpi, float y_dpi, uint16_t compression,
              uint64_t seed, std::string_view title, int page_number) {
  auto canvas = std::make_shared<Canvas>(width, height, 0);
  const int scale_x = TextScale(width);
  const int scale_y = std::max(1, static_cast<int>(std::lround(scale_x * y_dpi / x_dpi)));
  LayOutTextPage(*canvas, scale_x, scale_y, seed, title, page_number, 1, static_cast<int>(height));
  AddSpeckles(*canvas, seed + 7, width * height / 40000);
  Layout layout{.width = width,
                .height = height,
                .bits = 1,
                .photometric = PHOTOMETRIC_MINISWHITE,
                .compression = compression,
                .x_dpi = x_dpi,
                .y_dpi = y_dpi};
  return {layout, PackedBilevelRows(canvas)};
}

// A 300 dpi A4 page of small print: glyphs 14 pixels tall, some 1.2 mm, that
// a reader must zoom into to read.
Page SmallPrintPage(uint64_t seed) {
  constexpr uint32_t kWidth = 2480;
  constexpr uint32_t kHeight = 3508;
  auto canvas = std::make_shared<Canvas>(kWidth, kHeight, 0);
  LayOutTextPage(*canvas, 2, 2, seed, "TERMS AND CONDITIONS", 1, 1, static_cast<int>(kHeight));
  Layout layout{.width = kWidth,
                .height = kHeight,
                .bits = 1,
                .photometric = PHOTOMETRIC_MINISWHITE,
                .compression = COMPRESSION_CCITTFAX4};
  return {layout, PackedBilevelRows(canvas)};
}

// A scanned gray page: textured paper, anti-aliased text and a photograph.
Page GrayPage(uint32_t width, uint32_t height, uint64_t seed) {
  const uint32_t photo_top = height * 2 / 3;
  Canvas ink(width, height, 0);
  LayOutTextPage(ink, TextScale(width), TextScale(width), seed, "GRAY SCAN", 1, 1,
                 static_cast<int>(photo_top) - 2 * TextScale(width) * kGlyphHeight);
  auto page = std::make_shared<Canvas>(width, height, 0);
  Random grain(seed + 1);
  FractalNoise paper(seed + 2, 8, 4);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      int coverage = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int64_t sx = std::clamp<int64_t>(int64_t{x} + dx, 0, width - 1);
          const int64_t sy = std::clamp<int64_t>(int64_t{y} + dy, 0, height - 1);
          coverage += ink.pixels[sy * width + sx];
        }
      }
      const double background =
          226 + 14 * paper.At(double(x) / width, double(y) / height) + (grain.Unit() - 0.5) * 6;
      page->pixels[size_t{y} * width + x] = ToByte(background - (background - 30) * coverage / 9.0);
    }
  }
  // A photograph in the lower third, in gray.
  Landscape landscape(seed + 3);
  const uint32_t x0 = width / 5;
  const uint32_t x1 = width - width / 5;
  const uint32_t y0 = photo_top;
  const uint32_t y1 = std::min(height, y0 + (x1 - x0) * 2 / 5);
  page->FillRect(x0, y0, x1, y1, 0);
  for (uint32_t y = y0; y < y1; ++y) {
    for (uint32_t x = x0; x < x1; ++x) {
      const Rgb c = landscape.At(double(x - x0) / (x1 - x0), double(y - y0) / (y1 - y0));
      page->pixels[size_t{y} * width + x] = ToByte(0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
    }
  }
  Layout layout{.width = width,
                .height = height,
                .compression = COMPRESSION_LZW,
                .predictor = PREDICTOR_HORIZONTAL};
  return {layout, [page](uint32_t y, uint8_t* bytes) {
            std::copy_n(&page->pixels[size_t{y} * page->width], page->width, bytes);
          }};
}

enum class ColorModel { kRgb, kRgba, kCmyk, kRgb16 };

Page Photo(uint32_t width, uint32_t height, uint64_t seed, ColorModel model, uint16_t compression,
           uint32_t tile_size) {
  auto landscape = std::make_shared<Landscape>(seed);
  Layout layout{.width = width,
                .height = height,
                .samples = 3,
                .photometric = PHOTOMETRIC_RGB,
                .compression = compression,
                .predictor = compression == COMPRESSION_NONE ? uint16_t{PREDICTOR_NONE}
                                                             : uint16_t{PREDICTOR_HORIZONTAL},
                .tile_size = tile_size};
  if (model == ColorModel::kRgba) {
    layout.samples = 4;
    layout.alpha = true;
  } else if (model == ColorModel::kCmyk) {
    layout.samples = 4;
    layout.photometric = PHOTOMETRIC_SEPARATED;
  } else if (model == ColorModel::kRgb16) {
    layout.bits = 16;
  }
  auto grain = std::make_shared<Random>(seed + 9);
  return {layout, [=](uint32_t y, uint8_t* bytes) {
            const double v = height > 1 ? double(y) / (height - 1) : 0.5;
            for (uint32_t x = 0; x < width; ++x) {
              const double u = width > 1 ? double(x) / (width - 1) : 0.5;
              const Rgb c = landscape->At(u, v);
              const uint8_t r = ToByte(c.r);
              const uint8_t g = ToByte(c.g);
              const uint8_t b = ToByte(c.b);
              switch (model) {
                case ColorModel::kRgb:
                  bytes[3 * x] = r;
                  bytes[3 * x + 1] = g;
                  bytes[3 * x + 2] = b;
                  break;
                case ColorModel::kRgba: {
                  // Opaque inside an ellipse, fading to transparent at its edge.
                  const double d = std::hypot((u - 0.5) / 0.42, (v - 0.5) / 0.40);
                  bytes[4 * x] = r;
                  bytes[4 * x + 1] = g;
                  bytes[4 * x + 2] = b;
                  bytes[4 * x + 3] = ToByte(255 * std::clamp((1.0 - d) / 0.08, 0.0, 1.0));
                  break;
                }
                case ColorModel::kCmyk: {
                  const uint8_t k = static_cast<uint8_t>(255 - std::max({r, g, b}));
                  const auto ink = [k](uint8_t channel) {
                    return k == 255 ? uint8_t{0}
                                    : static_cast<uint8_t>((255 - channel - k) * 255 / (255 - k));
                  };
                  bytes[4 * x] = ink(r);
                  bytes[4 * x + 1] = ink(g);
                  bytes[4 * x + 2] = ink(b);
                  bytes[4 * x + 3] = k;
                  break;
                }
                case ColorModel::kRgb16: {
                  auto* words = reinterpret_cast<uint16_t*>(bytes);
                  const double channels[] = {c.r, c.g, c.b};
                  for (int i = 0; i < 3; ++i) {
                    const double fine = channels[i] * 257 + (grain->Unit() - 0.5) * 256;
                    words[3 * x + i] = static_cast<uint16_t>(std::clamp(fine, 0.0, 65535.0));
                  }
                  break;
                }
              }
            }
          }};
}

// The photo with film grain on top: independent noise of up to
// `amplitude` levels in each channel of each pixel, as a camera or a scanner
// adds. 8-bit RGB only.
Page GrainyPhoto(uint32_t width, uint32_t height, uint64_t seed, uint16_t compression,
                 uint32_t tile_size, int amplitude) {
  Page page = Photo(width, height, seed, ColorModel::kRgb, compression, tile_size);
  auto grain = std::make_shared<Random>(seed + 17);
  page.rows = [photo_rows = std::move(page.rows), grain, width, amplitude](uint32_t y,
                                                                           uint8_t* bytes) {
    photo_rows(y, bytes);
    for (size_t i = 0; i < size_t{width} * 3; ++i) {
      const int noise = static_cast<int>(grain->Below(2 * amplitude + 1)) - amplitude;
      bytes[i] = static_cast<uint8_t>(std::clamp(bytes[i] + noise, 0, 255));
    }
  };
  return page;
}

// A map-like drawing in 8-bit palette colour: terrain classes, a grid and labels.
Page PaletteMap(uint32_t width, uint32_t height, uint64_t seed) {
  constexpr int kClasses = 36;
  auto colormap = std::make_shared<std::vector<uint16_t>>(3 * 256, 0);
  for (int i = 0; i < kClasses; ++i) {
    const double t = double(i) / (kClasses - 1);
    const Rgb c = t < 0.3 ? Mix({20, 60, 140}, {90, 160, 220}, t / 0.3)
                          : Mix({60, 140, 60}, {235, 225, 200}, (t - 0.3) / 0.7);
    (*colormap)[i] = static_cast<uint16_t>(ToByte(c.r) * 257);
    (*colormap)[256 + i] = static_cast<uint16_t>(ToByte(c.g) * 257);
    (*colormap)[512 + i] = static_cast<uint16_t>(ToByte(c.b) * 257);
  }
  const uint8_t kGridIndex = kClasses;
  const uint8_t kTextIndex = kClasses + 1;
  (*colormap)[kGridIndex] = (*colormap)[256 + kGridIndex] = (*colormap)[512 + kGridIndex] = 0x8080;
  auto map = std::make_shared<Canvas>(width, height, 0);
  FractalNoise terrain(seed, 4, 6);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const double t = terrain.At(double(x) / width, double(y) / height);
      map->pixels[size_t{y} * width + x] = static_cast<uint8_t>(
          std::clamp(static_cast<int>((t - 0.2) / 0.6 * kClasses), 0, kClasses - 1));
    }
  }
  const uint32_t step = std::max<uint32_t>(width / 12, 8);
  for (uint32_t g = step; g < std::max(width, height); g += step) {
    map->FillRect(g, 0, g + 1, height, kGridIndex);
    map->FillRect(0, g, width, g + 1, kGridIndex);
  }
  const int scale = TextScale(width);
  DrawText(*map, static_cast<int>(step / 4), static_cast<int>(step / 4), scale, scale,
           "NORTH SHORE", kTextIndex);
  DrawText(*map, static_cast<int>(width / 2), static_cast<int>(height / 2), scale, scale, "LAKE 14",
           kTextIndex);
  Layout layout{.width = width,
                .height = height,
                .photometric = PHOTOMETRIC_PALETTE,
                .compression = COMPRESSION_LZW,
                .colormap = colormap.get()};
  return {layout, [map, colormap](uint32_t y, uint8_t* bytes) {
            std::copy_n(&map->pixels[size_t{y} * map->width], map->width, bytes);
          }};
}

// An engineering drawing computed row by row, so that even 10000 x 14000
// pixels take no more than a row of memory: frame, grid, circles, diagonals
// and a title block.
Page Drawing(uint32_t width, uint32_t height) {
  const double unit = width / 10000.0;
  const auto thick = [unit](double t) { return std::max(1.0, t * unit); };
  struct Circle {
    double cx, cy, radius;
  };
  auto circles = std::make_shared<std::vector<Circle>>();
  for (int i = 0; i < 5; ++i) {
    for (int j = 0; j < 7; ++j) {
      circles->push_back({(1000 + 2000 * i) * unit, (1000 + 2000 * j) * unit,
                          (300 + 120 * ((i * 7 + j) % 6)) * unit});
    }
  }
  const int title_scale = std::max(1, static_cast<int>(12 * unit));
  const std::string title = "DRAWING " + std::to_string(width) + " X " + std::to_string(height);
  auto block = std::make_shared<Canvas>(
      static_cast<uint32_t>(TextWidth(title, title_scale) + 4 * title_scale),
      static_cast<uint32_t>((kGlyphHeight + 4) * title_scale), 0);
  DrawText(*block, 2 * title_scale, 2 * title_scale, title_scale, title_scale, title, 1);
  const uint32_t block_x = width - block->width - static_cast<uint32_t>(300 * unit);
  const uint32_t block_y = height - block->height - static_cast<uint32_t>(300 * unit);
  Layout layout{.width = width,
                .height = height,
                .bits = 1,
                .photometric = PHOTOMETRIC_MINISWHITE,
                .compression = COMPRESSION_CCITTFAX4};
  return {layout, [=](uint32_t y, uint8_t* bytes) {
            std::vector<uint8_t> row(width, 0);
            const auto span = [&](double x0, double x1) {
              const int64_t a = std::max<int64_t>(0, std::llround(x0));
              const int64_t b = std::min<int64_t>(width, std::llround(x1));
              for (int64_t x = a; x < b; ++x) {
                row[x] = 1;
              }
            };
            const double margin = 100 * unit;
            const double frame = thick(20);
            if (y >= margin && y < height - margin) {
              if (y < margin + frame || y >= height - margin - frame) {
                span(margin, width - margin);
              }
              span(margin, margin + frame);
              span(width - margin - frame, width - margin);
            }
            for (double g = 500 * unit; g < width; g += 500 * unit) {
              span(g, g + thick(2));
            }
            if (std::fmod(y, 500 * unit) < thick(2)) {
              span(0, width);
            }
            for (const Circle& c : *circles) {
              const double dy = y - c.cy;
              const double outer = c.radius + thick(3);
              if (std::abs(dy) >= outer) {
                continue;
              }
              const double x_out = std::sqrt(outer * outer - dy * dy);
              const double x_in =
                  std::abs(dy) < c.radius ? std::sqrt(c.radius * c.radius - dy * dy) : 0;
              span(c.cx - x_out, c.cx - x_in);
              span(c.cx + x_in, c.cx + x_out);
            }
            span(y * 0.7, y * 0.7 + thick(3));
            span(width - y * 0.5 - thick(3), width - y * 0.5);
            if (y >= block_y && y < block_y + block->height) {
              const uint8_t* source = &block->pixels[size_t{y - block_y} * block->width];
              for (uint32_t x = 0; x < block->width; ++x) {
                row[block_x + x] |= source[x];
              }
              if (y == block_y || y + 1 == block_y + block->height) {
                span(block_x, block_x + block->width);
              }
            }
            std::fill_n(bytes, (width + 7) / 8, 0);
            for (uint32_t x = 0; x < width; ++x) {
              if (row[x] != 0) {
                bytes[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
              }
            }
          }};
}

// --- Small files that cost far more than their size -----------------------

// Every value of `tag` in the first directory of the classic little-endian
// TIFF file at `path` (a SHORT or LONG array, such as the strips' offsets)
// set to `value`, in place: what libtiff would never write.
void SetEveryValue(const std::string& path, uint16_t tag, uint32_t value) {
  std::FILE* file = std::fopen(path.c_str(), "r+b");
  Check(file != nullptr, "cannot open " + path);
  std::string bytes;
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.append(buffer, got);
  }
  const auto read = [&](size_t at, size_t size) {
    Check(at + size <= bytes.size(), "directory beyond the end of " + path);
    uint32_t result = 0;
    std::memcpy(&result, bytes.data() + at, size);
    return result;
  };
  Check(bytes.compare(0, 4, std::string("II*\0", 4)) == 0, "not a classic TIFF: " + path);
  const uint32_t directory = read(4, 4);
  bool found = false;
  for (uint32_t i = 0, count = read(directory, 2); i < count && !found; ++i) {
    const size_t entry = directory + 2 + size_t{12} * i;
    if (read(entry, 2) != tag) {
      continue;
    }
    const size_t size = read(entry + 2, 2) == TIFF_SHORT ? 2 : 4;
    Check(size == 4 || value <= 0xffff, "a value too large for the tag");
    const uint32_t values = read(entry + 4, 4);
    const size_t first = size * values <= 4 ? entry + 8 : read(entry + 8, 4);
    for (uint32_t v = 0; v < values; ++v) {
      std::memcpy(bytes.data() + first + size * v, &value, size);
    }
    found = true;
  }
  Check(found, "no tag " + std::to_string(tag) + " in " + path);
  const bool written = std::fseek(file, 0, SEEK_SET) == 0 &&
                       std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  Check(std::fclose(file) == 0 && written, "cannot write " + path);
}

// A page none of whose strips or tiles has bytes of its own: each says it
// starts at offset 0 and is a whole chunk long, so that a reader that took
// it at its word would decode the file's first bytes, the header and a
// chunk's worth of noise, once for every chunk.
void WriteChunksAtZero(const std::string& path, const Layout& layout) {
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  Check(tiff != nullptr, "cannot create " + path);
  SetTags(tiff, layout, 0, 1);
  const bool tiled = layout.tile_size != 0;
  const uint32_t chunks = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  const auto chunk_bytes = static_cast<uint32_t>(tiled ? TIFFTileSize(tiff) : TIFFStripSize(tiff));
  std::vector<uint8_t> noise(chunk_bytes);
  Random random(chunk_bytes);
  for (uint8_t& byte : noise) {
    byte = static_cast<uint8_t>(random.Next());
  }
  bool ok = true;
  for (uint32_t i = 0; i < chunks && ok; ++i) {
    // The first chunk's noise, written where the header ends; a byte for
    // each of the others, whose places nothing will point to.
    const tmsize_t size = i == 0 ? chunk_bytes : 1;
    ok = (tiled ? TIFFWriteRawTile(tiff, i, noise.data(), size)
                : TIFFWriteRawStrip(tiff, i, noise.data(), size)) == size;
  }
  ok = ok && TIFFWriteDirectory(tiff) == 1;
  TIFFClose(tiff);
  Check(ok, "cannot write " + path);
  SetEveryValue(path, tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, 0);
  SetEveryValue(path, tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, chunk_bytes);
}

// A square page of diagonal ramps: horizontally differenced, each row holds
// one value per sample, which the predictor and a strong codec squeeze about
// 1000:1; the first `noisy` bytes of each row are noise instead, which they
// cannot. Every strip holds its own bytes, as an honest writer stores them.
Page RampPage(uint32_t size, uint16_t samples, uint16_t compression, uint32_t noisy = 0) {
  Layout layout{
      .width = size,
      .height = size,
      .samples = samples,
      .photometric = samples == 1 ? uint16_t{PHOTOMETRIC_MINISBLACK} : uint16_t{PHOTOMETRIC_RGB},
      .compression = compression,
      .predictor = PREDICTOR_HORIZONTAL,
      .rows_per_strip = 16,
      .strong = true};
  return {layout, [size, samples, noisy](uint32_t y, uint8_t* bytes) {
            for (uint32_t x = 0; x < size; ++x) {
              for (uint32_t c = 0; c < samples; ++c) {
                bytes[size_t{x} * samples + c] = static_cast<uint8_t>(x * (c + 1) + y * (3 - c));
              }
            }
            Random noise(y);
            for (uint32_t i = 0; i < noisy; ++i) {
              bytes[i] = static_cast<uint8_t>(noise.Next());
            }
          }};
}

// A square 8-bit palette page of noise: each strip of `strip_rows` rows
// repeats one row of random indices, which LZMA stores once and then refers
// back to.
Page NoisePalettePage(uint32_t size, uint32_t strip_rows, uint64_t seed) {
  auto colormap = std::make_shared<std::vector<uint16_t>>(3 * 256);
  Random random(seed);
  for (uint16_t& entry : *colormap) {
    entry = static_cast<uint16_t>(random.Below(256) * 257);
  }
  Layout layout{.width = size,
                .height = size,
                .photometric = PHOTOMETRIC_PALETTE,
                .compression = COMPRESSION_LZMA,
                .rows_per_strip = strip_rows,
                .strong = true,
                .colormap = colormap.get()};
  return {layout, [size, strip_rows, seed, colormap](uint32_t y, uint8_t* bytes) {
            Random row(seed + 1 + y / strip_rows);
            for (uint32_t x = 0; x < size; ++x) {
              bytes[x] = static_cast<uint8_t>(row.Next());
            }
          }};
}

// A square bilevel page of vertical stripes, each `period` / 2 pixels wide,
// CCITT Group 4: each row costs a bit for each edge.
Page StripesPage(uint32_t size, uint32_t period) {
  Layout layout{.width = size,
                .height = size,
                .bits = 1,
                .photometric = PHOTOMETRIC_MINISWHITE,
                .compression = COMPRESSION_CCITTFAX4};
  return {layout, [size, period](uint32_t, uint8_t* bytes) {
            std::fill_n(bytes, (size + 7) / 8, 0);
            for (uint32_t x = 0; x < size; ++x) {
              if (x % period < period / 2) {
                bytes[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
              }
            }
          }};
}

// A bilevel page with no ink at all, CCITT Group 4: a fax's blank page.
Page BlankPage(uint32_t width, uint32_t height, float x_dpi, float y_dpi) {
  Layout layout{.width = width,
                .height = height,
                .bits = 1,
                .photometric = PHOTOMETRIC_MINISWHITE,
                .compression = COMPRESSION_CCITTFAX4,
                .x_dpi = x_dpi,
                .y_dpi = y_dpi};
  return {layout, [width](uint32_t, uint8_t* bytes) { std::fill_n(bytes, (width + 7) / 8, 0); }};
}

struct Entry {
  CorpusFile file;
  std::function<std::vector<Page>()> pages;
  // Writes the file instead of WriteTiff with `pages`.
  std::function<void(const std::string& path)> write = nullptr;
};

Entry TextEntry(std::string name, uint32_t width, uint32_t height, float x_dpi, float y_dpi,
                uint16_t compression, int pages, std::string description, uint64_t seed) {
  return {{std::move(name), width, height, static_cast<uint16_t>(pages), "bilevel",
           std::move(description), x_dpi, y_dpi},
          [=] {
            std::vector<Page> result;
            for (int p = 1; p <= pages; ++p) {
              result.push_back(TextPage(
                  width, height, x_dpi, y_dpi, compression, seed + p,
                  compression == COMPRESSION_CCITTFAX3 ? "FAX MESSAGE" : "SCANNED LETTER", p));
            }
            return result;
          }};
}

Entry ColorEntry(std::string name, uint32_t width, uint32_t height, ColorModel model,
                 uint16_t compression, uint32_t tile, std::string description, uint64_t seed) {
  return {{std::move(name), width, height, 1, "colour", std::move(description)},
          [=] { return std::vector<Page>{Photo(width, height, seed, model, compression, tile)}; }};
}

// The same photo as ColorEntry's of the same seed, with film grain of +-6.
Entry GrainEntry(std::string name, uint32_t width, uint32_t height, uint32_t tile,
                 std::string description, uint64_t seed) {
  return {{std::move(name), width, height, 1, "colour", std::move(description)}, [=] {
            return std::vector<Page>{
                GrainyPhoto(width, height, seed, COMPRESSION_ADOBE_DEFLATE, tile, 6)};
          }};
}

std::vector<Entry> EntriesOf(CorpusSet set) {
  switch (set) {
    case CorpusSet::kSamples:
      return {
          TextEntry("scanned-letter.tif", 2480, 3508, 300, 300, COMPRESSION_CCITTFAX4, 1,
                    "scanned text page, CCITT Group 4, A4 at 300 dpi", 11),
          TextEntry("fax.tif", 1728, 1123, 204, 98, COMPRESSION_CCITTFAX3, 1,
                    "fax, CCITT Group 3, 204 x 98 dpi", 21),
          TextEntry("fine-fax.tif", 1728, 2246, 204, 196, COMPRESSION_CCITTFAX3, 1,
                    "fine fax, CCITT Group 3, 204 x 196 dpi", 61),
          {{"gray-page.tif", 1240, 1754, 1, "gray", "grayscale page, 8 bits, LZW"},
           [] { return std::vector<Page>{GrayPage(1240, 1754, 31)}; }},
          ColorEntry("photo.tif", 1500, 1000, ColorModel::kRgb, COMPRESSION_ADOBE_DEFLATE, 0,
                     "colour photograph, RGB, Deflate", 41),
          TextEntry("three-pages.tif", 1240, 1754, 150, 150, COMPRESSION_CCITTFAX4, 3,
                    "multi-page file, three CCITT Group 4 pages", 51),
          {{"drawing.tif", 6000, 8000, 1, "bilevel", "large drawing, CCITT Group 4"},
           [] { return std::vector<Page>{Drawing(6000, 8000)}; }},
          {{"small-print.tif", 2480, 3508, 1, "bilevel",
            "small print, CCITT Group 4, A4 at 300 dpi"},
           [] { return std::vector<Page>{SmallPrintPage(71)}; }},
      };
    case CorpusSet::kBenchmark:
    case CorpusSet::kQuick: {
      // The quick set keeps every kind at a quarter of the size (a tenth for the drawing).
      const bool quick = set == CorpusSet::kQuick;
      const auto q = [quick](uint32_t size) {
        return quick ? std::max<uint32_t>(size / 4, 1) : size;
      };
      const uint32_t tile = quick ? 64 : 256;
      return {
          TextEntry("a4-g4.tif", q(2480), q(3508), 300, 300, COMPRESSION_CCITTFAX4, 1,
                    "A4 page, 300 dpi, CCITT G4", 101),
          TextEntry("fax-g3.tif", q(1728), q(1123), 204, 98, COMPRESSION_CCITTFAX3, 1,
                    "fax, G3, 204 x 98 dpi", 102),
          {{"gray-a4-lzw.tif", q(2480), q(3508), 1, "gray", "grayscale A4, LZW"},
           [=] { return std::vector<Page>{GrayPage(q(2480), q(3508), 103)}; }},
          ColorEntry("photo-rgb-deflate.tif", q(3000), q(2000), ColorModel::kRgb,
                     COMPRESSION_ADOBE_DEFLATE, 0, "RGB photo, Deflate", 104),
          ColorEntry("rgb-4096-tiled.tif", q(4096), q(4096), ColorModel::kRgb,
                     COMPRESSION_ADOBE_DEFLATE, tile, "RGB, tiled, Deflate", 105),
          ColorEntry("rgb-1x1.tif", 1, 1, ColorModel::kRgb, COMPRESSION_NONE, 0, "1 x 1 RGB", 106),
          ColorEntry("rgb-16x16.tif", 16, 16, ColorModel::kRgb, COMPRESSION_NONE, 0,
                     "16 x 16 RGB, the fixed cost of a request", 112),
          TextEntry("three-page-g4.tif", q(2480), q(3508), 300, 300, COMPRESSION_CCITTFAX4, 3,
                    "3-page G4", 107),
          ColorEntry("rgba.tif", q(1600), q(1200), ColorModel::kRgba, COMPRESSION_ADOBE_DEFLATE, 0,
                     "RGBA photo with a transparent surround", 108),
          ColorEntry("cmyk.tif", q(1600), q(1200), ColorModel::kCmyk, COMPRESSION_LZW, 0,
                     "CMYK photo, LZW", 109),
          ColorEntry("rgb16.tif", q(1600), q(1200), ColorModel::kRgb16, COMPRESSION_ADOBE_DEFLATE,
                     0, "16-bit RGB photo, Deflate", 110),
          GrainEntry("photo-grain-deflate.tif", q(3000), q(2000), 0,
                     "RGB photo with film grain (+-6 per channel), Deflate", 104),
          GrainEntry("grain-4096-tiled.tif", q(4096), q(4096), tile,
                     "RGB with film grain (+-6 per channel), tiled, Deflate", 105),
          {{"palette.tif", q(2000), q(1500), 1, "palette", "8-bit palette map, LZW"},
           [=] { return std::vector<Page>{PaletteMap(q(2000), q(1500), 111)}; }},
          {{"drawing-g4.tif", quick ? 1000u : 10000u, quick ? 1400u : 14000u, 1, "bilevel",
            "large G4 drawing"},
           [quick] {
             return std::vector<Page>{Drawing(quick ? 1000 : 10000, quick ? 1400 : 14000)};
           }},
      };
    }
    case CorpusSet::kHostile: {
      constexpr uint32_t kSide = 16384;     // the most pixels a page may have
      constexpr uint32_t kBoundRgb = 4729;  // 3 x 4729 x 4729 bytes: just under 64 MiB
      constexpr uint32_t kBoundPalette = 8192;
      const auto at_zero = [](std::string name, uint16_t samples, uint32_t tile,
                              std::string description) {
        const Layout layout{.width = kSide,
                            .height = kSide,
                            .samples = samples,
                            .photometric = samples == 1 ? uint16_t{PHOTOMETRIC_MINISBLACK}
                                                        : uint16_t{PHOTOMETRIC_RGB},
                            .tile_size = tile,
                            .rows_per_strip = 1};
        return Entry{{std::move(name), kSide, kSide, 1, samples == 1 ? "gray" : "colour",
                      std::move(description)},
                     nullptr,
                     [layout](const std::string& path) { WriteChunksAtZero(path, layout); }};
      };
      const auto ramp = [](std::string name, uint16_t samples, uint16_t compression,
                           std::string description) {
        return Entry{{std::move(name), kSide, kSide, 1, samples == 1 ? "gray" : "colour",
                      std::move(description)},
                     [=] { return std::vector<Page>{RampPage(kSide, samples, compression)}; }};
      };
      return {
          at_zero("strips-at-zero-rgb.tif", 3, 0,
                  "RGB, 16384 strips that all say: offset 0, 49,152 bytes"),
          at_zero("strips-at-zero-gray.tif", 1, 0,
                  "gray, 16384 strips that all say: offset 0, 16,384 bytes"),
          at_zero("tiles-at-zero.tif", 1, 128,
                  "gray, 16384 tiles of 128 x 128 that all say: offset 0, 16,384 bytes"),
          ramp("ramp-rgb-deflate.tif", 3, COMPRESSION_ADOBE_DEFLATE,
               "RGB ramps, predictor and Deflate, about 1000:1"),
          ramp("ramp-rgb-zstd.tif", 3, COMPRESSION_ZSTD, "RGB ramps, predictor and ZSTD"),
          ramp("ramp-rgb-lzma.tif", 3, COMPRESSION_LZMA, "RGB ramps, predictor and LZMA"),
          ramp("ramp-gray-deflate.tif", 1, COMPRESSION_ADOBE_DEFLATE,
               "gray ramps, predictor and Deflate, about 1000:1"),
          {{"noise-palette-lzma.tif", kSide, kSide, 1, "palette",
            "8-bit palette noise, LZMA, each strip of 1024 rows one row repeated"},
           [] { return std::vector<Page>{NoisePalettePage(kSide, 1024, 201)}; }},
          // Pages of just under 64 MiB, the most a page of a file of 1 MB may
          // decode to, with as much noise as fits into 1 MB.
          {{"bound-rgb-lzma.tif", kBoundRgb, kBoundRgb, 1, "colour",
            "RGB ramps and noise, predictor and LZMA, 64 MiB from 1 MB"},
           [] { return std::vector<Page>{RampPage(kBoundRgb, 3, COMPRESSION_LZMA, 190)}; }},
          {{"bound-palette-lzma.tif", kBoundPalette, kBoundPalette, 1, "palette",
            "8-bit palette noise, LZMA, 64 MiB from 1 MB"},
           [] { return std::vector<Page>{NoisePalettePage(kBoundPalette, 68, 202)}; }},
          {{"noise-rgb.tif", 580, 580, 1, "colour", "RGB noise, Deflate, 1 MB"},
           [] { return std::vector<Page>{RampPage(580, 3, COMPRESSION_ADOBE_DEFLATE, 580 * 3)}; }},
          {{"stripes-g4.tif", kSide, kSide, 1, "bilevel",
            "16384 x 16384 vertical stripes, CCITT G4, 1 MB"},
           [] { return std::vector<Page>{StripesPage(kSide, 80)}; }},
          {{"blank-fax-g4.tif", 1728, 2286, 1, "bilevel",
            "blank fine fax page, CCITT G4, about 3000:1", 204, 196},
           [] { return std::vector<Page>{BlankPage(1728, 2286, 204, 196)}; }},
          {{"blank-g4-65535x4096.tif", 65535, 4096, 1, "bilevel", "blank 65535 x 4096 page, G4"},
           [] { return std::vector<Page>{BlankPage(65535, 4096, 300, 300)}; }},
      };
    }
  }
  return {};
}

}  // namespace

std::vector<CorpusFile> WriteCorpus(CorpusSet set, const std::string& directory,
                                    const std::vector<std::string>& names) {
  std::vector<CorpusFile> written;
  for (const Entry& entry : EntriesOf(set)) {
    if (!names.empty() && std::find(names.begin(), names.end(), entry.file.name) == names.end()) {
      continue;
    }
    const std::string path = directory + "/" + entry.file.name;
    if (entry.write) {
      entry.write(path);
    } else {
      WriteTiff(path, entry.pages());
    }
    written.push_back(entry.file);
  }
  return written;
}

}  // namespace ostrel::bench
