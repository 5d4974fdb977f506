// A deterministic corpus of TIFF files: the demo's samples and the
// benchmarks' inputs, generated on the spot with libtiff.
#ifndef OSTREL_BENCH_TIFF_CORPUS_H_
#define OSTREL_BENCH_TIFF_CORPUS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace ostrel::bench {

enum class CorpusSet {
  kSamples,    // what the demo shows: pages, faxes, a gray page, a photo, a multi-page file,
               // a large drawing and small print
  kBenchmark,  // the full benchmark corpus, up to a 10000 x 14000 drawing
  kQuick,      // small stand-ins for every benchmark kind
  kHostile,    // files of at most 1 MB that cost far more than their size to convert
};

struct CorpusFile {
  std::string name;  // file name, ".tif" included
  uint32_t width = 0;
  uint32_t height = 0;
  uint16_t pages = 1;
  std::string kind;  // bilevel, gray, palette or colour: how exact a conversion must be
  std::string description;
  float x_dpi = 300;  // the resolution tags, which give the page its true shape
  float y_dpi = 300;
};

// Writes the set's files into `directory`, which must exist, and returns
// them in a fixed order; only those of `names`, when some are given. The
// same set always gives the same bytes. Raises std::runtime_error when a
// file cannot be written.
std::vector<CorpusFile> WriteCorpus(CorpusSet set, const std::string& directory,
                                    const std::vector<std::string>& names = {});

}  // namespace ostrel::bench

#endif  // OSTREL_BENCH_TIFF_CORPUS_H_
