// The converter's stages one by one, on files of the benchmark corpus:
// decoding, colour reduction, index mapping and LZW encoding.
//   stage_benchmark CORPUS_DIRECTORY [Google Benchmark flags]
#include <algorithm>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "converter/color_reduction.h"
#include "converter/gif_writer.h"
#include "converter/image_size.h"
#include "converter/palette.h"
#include "converter/sample_indices.h"
#include "converter/tiff_file.h"
#include "converter/tiff_page.h"
#include "converter/tiff_reader.h"

namespace ostrel {
namespace {

std::string corpus;  // the directory, from the command line

std::string PathOf(const std::string& name) { return corpus + "/" + name + ".tif"; }

std::vector<uint32_t> RgbaOf(const std::string& name) {
  TiffReader reader(TiffFile::Open(PathOf(name)), 1);
  std::vector<uint32_t> pixels(size_t{reader.page().width} * reader.page().height);
  reader.ReadRgbaRows(0, pixels);
  return pixels;
}

// A page's indices, one byte a pixel, as the encoder takes them.
std::vector<uint8_t> IndicesOf(const std::string& name, uint32_t* width) {
  TiffReader reader(TiffFile::Open(PathOf(name)), 1);
  const TiffPage& page = reader.page();
  *width = page.width;
  std::vector<uint8_t> indices(size_t{page.width} * page.height);
  if (page.kind != PageKind::kColor) {
    size_t row = 0;
    reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
      UnpackSamples(samples, page.bits_per_sample,
                    std::span<uint8_t>(indices).subspan(row++ * page.width, page.width));
    });
    return indices;
  }
  const std::vector<uint32_t> pixels = RgbaOf(name);
  ColorReduction reduction(256, true, page.width);
  reduction.Survey(pixels);
  reduction.ChoosePalette();
  for (size_t start = 0; start < pixels.size(); start += page.width) {
    reduction.MapRow(std::span<const uint32_t>(pixels).subspan(start, page.width),
                     std::span<uint8_t>(indices).subspan(start, page.width));
  }
  return indices;
}

void Decode(benchmark::State& state, const std::string& name) {
  for (auto _ : state) {
    TiffReader reader(TiffFile::Open(PathOf(name)), 1);
    const TiffPage& page = reader.page();
    if (page.kind == PageKind::kColor) {
      std::vector<uint32_t> pixels(size_t{page.width} * page.height);
      reader.ReadRgbaRows(0, pixels);
      benchmark::DoNotOptimize(pixels.data());
    } else {
      std::vector<uint8_t> indices(page.width);
      reader.ReadSampleRows([&](std::span<const uint8_t> samples) {
        UnpackSamples(samples, page.bits_per_sample, indices);
        benchmark::DoNotOptimize(indices.data());
      });
    }
  }
}

void ReduceColors(benchmark::State& state, const std::string& name) {
  const std::vector<uint32_t> pixels = RgbaOf(name);
  for (auto _ : state) {
    ColorReduction reduction(256, true, 1);
    reduction.Survey(pixels);
    benchmark::DoNotOptimize(reduction.ChoosePalette().colors.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pixels.size()));
}

void MapIndices(benchmark::State& state, const std::string& name, bool dither) {
  const TiffReader reader(TiffFile::Open(PathOf(name)), 1);
  const uint32_t width = reader.page().width;
  const std::vector<uint32_t> pixels = RgbaOf(name);
  std::vector<uint8_t> indices(width);
  for (auto _ : state) {
    state.PauseTiming();
    ColorReduction reduction(256, dither, width);
    reduction.Survey(pixels);
    reduction.ChoosePalette();
    state.ResumeTiming();
    for (size_t start = 0; start < pixels.size(); start += width) {
      reduction.MapRow(std::span<const uint32_t>(pixels).subspan(start, width), indices);
    }
    benchmark::DoNotOptimize(indices.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pixels.size()));
}

void EncodeLzw(benchmark::State& state, const std::string& name) {
  uint32_t width = 0;
  const std::vector<uint8_t> indices = IndicesOf(name, &width);
  const auto height = static_cast<uint32_t>(indices.size() / width);
  uint8_t largest = 0;
  for (const uint8_t index : indices) {
    largest = std::max(largest, index);
  }
  const IndexedPalette palette{Palette(size_t{largest} + 1), std::nullopt};
  size_t bytes = 0;
  for (auto _ : state) {
    GifWriter gif(ImageSize{width, height}, palette,
                  [&](std::string_view chunk) { bytes += chunk.size(); });
    for (size_t start = 0; start < indices.size(); start += width) {
      gif.PutRow(std::span<const uint8_t>(indices).subspan(start, width));
    }
    gif.Finish();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * indices.size()));
  state.counters["gif_bytes"] =
      static_cast<double>(bytes) / static_cast<double>(state.iterations());
}

}  // namespace
}  // namespace ostrel

int main(int argc, char** argv) {
  if (argc < 2 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: stage_benchmark CORPUS_DIRECTORY [benchmark flags]\n");
    return 2;
  }
  ostrel::corpus = argv[1];
  argv[1] = argv[0];
  ++argv;
  --argc;
  using benchmark::kMillisecond;
  using benchmark::RegisterBenchmark;
  for (const char* name : {"a4-g4", "gray-a4-lzw", "palette", "photo-rgb-deflate"}) {
    RegisterBenchmark((std::string("decode/") + name).c_str(), ostrel::Decode, std::string(name))
        ->Unit(kMillisecond);
  }
  RegisterBenchmark("colour_reduction/photo-rgb-deflate", ostrel::ReduceColors,
                    std::string("photo-rgb-deflate"))
      ->Unit(kMillisecond);
  for (const char* name : {"photo-rgb-deflate", "photo-grain-deflate"}) {
    for (const bool dither : {true, false}) {
      RegisterBenchmark(
          (std::string("index_mapping/") + name + (dither ? "/dither_on" : "/dither_off")).c_str(),
          ostrel::MapIndices, std::string(name), dither)
          ->Unit(kMillisecond);
    }
  }
  for (const char* name : {"a4-g4", "gray-a4-lzw", "palette", "photo-rgb-deflate"}) {
    RegisterBenchmark((std::string("lzw_encoding/") + name).c_str(), ostrel::EncodeLzw,
                      std::string(name))
        ->Unit(kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
