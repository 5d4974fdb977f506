// Writes a set of generated TIFF files and a manifest.tsv describing them;
// only the files named, when some are.
//   make_corpus samples|bench|quick|hostile DIRECTORY [FILE...]
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "bench/tiff_corpus.h"

int main(int argc, char** argv) {
  using ostrel::bench::CorpusSet;
  const std::string set_name = argc >= 3 ? argv[1] : "";
  CorpusSet set;
  if (set_name == "samples") {
    set = CorpusSet::kSamples;
  } else if (set_name == "bench") {
    set = CorpusSet::kBenchmark;
  } else if (set_name == "quick") {
    set = CorpusSet::kQuick;
  } else if (set_name == "hostile") {
    set = CorpusSet::kHostile;
  } else {
    std::fprintf(stderr, "usage: make_corpus samples|bench|quick|hostile DIRECTORY [FILE...]\n");
    return 2;
  }
  const std::string directory = argv[2];
  try {
    std::ofstream manifest(directory + "/manifest.tsv");
    manifest << "file\twidth\theight\tpages\tkind\tx_dpi\ty_dpi\tdescription\n";
    const std::vector<std::string> names(argv + 3, argv + argc);
    for (const auto& file : ostrel::bench::WriteCorpus(set, directory, names)) {
      manifest << file.name << '\t' << file.width << '\t' << file.height << '\t' << file.pages
               << '\t' << file.kind << '\t' << file.x_dpi << '\t' << file.y_dpi << '\t'
               << file.description << '\n';
    }
    if (!manifest) {
      std::fprintf(stderr, "make_corpus: cannot write %s/manifest.tsv\n", directory.c_str());
      return 1;
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_corpus: %s\n", error.what());
    return 1;
  }
  return 0;
}
