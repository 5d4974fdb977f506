#include "tests/load/cached_load.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/json_value.h"
#include "tests/support/shared_cache.h"
#include "tests/support/web_server.h"

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Document {
  std::string name;  // without .tif
  int pages = 1;
  bool photograph = false;
};

// The samples of the site's manifest.tsv, in its order, which is the order
// of popularity.
std::vector<Document> ReadDocuments(const std::string& site) {
  std::ifstream manifest(site + "/images/manifest.tsv");
  std::vector<Document> documents;
  for (std::string line; std::getline(manifest, line);) {
    std::istringstream fields(line);
    std::string file, width, height, pages, kind;
    if (!(fields >> file >> width >> height >> pages >> kind) || file == "file") {
      continue;
    }
    documents.push_back({file.substr(0, file.size() - 4), std::stoi(pages), kind == "colour"});
  }
  if (documents.empty()) {
    throw std::runtime_error("no samples in " + site + "/images/manifest.tsv");
  }
  return documents;
}

// What a reader looks at in a document, page by page (at most three): the
// thumbnail and the page view of the legacy interface, and what the zooming
// viewer asks for, the page's info.json, the tiles of the level that shows
// the page about 1000 pixels high and the top-left four tiles at full size.
std::vector<std::string> ViewsOf(const Document& document, const std::string& site, int backend) {
  std::vector<std::string> views;
  const std::string legacy = "/cgi-bin/ostrel?FN=" + document.name + "&Path=" + site + "/images/";
  for (int page = 1; page <= std::min(document.pages, 3); ++page) {
    views.push_back(legacy + "&Page=" + std::to_string(page) + "&Width=240");
    views.push_back(legacy + "&Page=" + std::to_string(page) + "&Width=800");
    const std::string service =
        "/cgi-bin/ostrel/iiif/3/" + document.name + (page == 1 ? "" : ";" + std::to_string(page));
    views.push_back(service + "/info.json");
    const HttpResponse info = HttpGet(backend, service + "/info.json");
    const std::optional<JsonValue> json = ParseJson(info.body);
    if (!json) {
      throw std::runtime_error("no info.json for " + service + ": " + info.status_line);
    }
    const int width = static_cast<int>((*json)["width"].number);
    const int height = static_cast<int>((*json)["height"].number);
    const int tile = static_cast<int>((*json)["tiles"].items.at(0)["width"].number);
    int overview = 1;
    while (std::max(width, height) / overview > 1024) {
      overview *= 2;
    }
    const std::string format = document.photograph ? "jpg" : "png";
    for (const int scale : {overview, 1}) {
      const int span = tile * scale;
      for (int y = 0; y < height && y < 2 * span; y += span) {
        for (int x = 0; x < width && x < 2 * span; x += span) {
          const int region_width = std::min(span, width - x);
          const int region_height = std::min(span, height - y);
          const int size = (region_width + scale - 1) / scale;
          views.push_back(service + "/" + std::to_string(x) + "," + std::to_string(y) + "," +
                          std::to_string(region_width) + "," + std::to_string(region_height) + "/" +
                          std::to_string(size) + ",/0/default." + format);
        }
      }
    }
  }
  return views;
}

struct Front {
  std::string name;
  std::optional<CacheKind> cache;
};

struct FrontResult {
  int requests = 0;
  int failures = 0;
  double seconds = 0;
  std::vector<double> latencies_ms;
  int converter_runs = 0;
  std::optional<CacheCounts> counts;
};

int CountLines(const std::string& path) {
  std::ifstream file(path);
  int count = 0;
  for (std::string line; std::getline(file, line);) {
    ++count;
  }
  return count;
}

// Sends `sequence` from `concurrency` threads to `port`, for at most
// `time_limit`. A URL's first body is the one every later answer must
// match, in this run and the next ones.
FrontResult Send(int port, const std::vector<std::string>& sequence, int concurrency,
                 std::chrono::seconds time_limit, std::map<std::string, std::string>& bodies,
                 std::mutex& bodies_mutex) {
  FrontResult result;
  std::atomic<size_t> next{0};
  std::mutex mutex;
  const Clock::time_point start = Clock::now();
  const Clock::time_point stop = start + time_limit;
  std::vector<std::thread> threads;
  for (int t = 0; t < concurrency; ++t) {
    threads.emplace_back([&] {
      for (size_t i; (i = next++) < sequence.size() && Clock::now() < stop;) {
        const std::string& target = sequence[i];
        const Clock::time_point begin = Clock::now();
        std::string problem;
        try {
          const HttpResponse response = HttpGet(port, target);
          if (response.status_line.substr(9, 3) != "200") {
            problem = response.status_line;
          } else {
            const std::lock_guard<std::mutex> lock(bodies_mutex);
            const auto [known, added] = bodies.emplace(target, response.body);
            if (!added && known->second != response.body) {
              problem = "body differs from the first one for the URL";
            }
          }
        } catch (const std::exception& error) {
          problem = error.what();
        }
        const double latency =
            std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        const std::lock_guard<std::mutex> lock(mutex);
        ++result.requests;
        result.latencies_ms.push_back(latency);
        if (!problem.empty() && ++result.failures <= 5) {
          std::fprintf(stderr, "  failed: %s: %s\n", target.c_str(), problem.c_str());
        }
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result;
}

double Percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) {
    return 0;
  }
  return sorted[static_cast<size_t>(p / 100 * static_cast<double>(sorted.size() - 1))];
}

// Puts a script in place of the site's converter that adds a line to
// `counter` and runs the converter, renamed beside it.
void CountConverterRuns(const std::string& site, const std::string& counter) {
  const std::string converter = site + "/cgi-bin/Caskle.ClsCaskle";
  if (!fs::exists(converter + ".counted")) {
    fs::rename(converter, converter + ".counted");
  }
  std::ofstream(counter, std::ios::trunc).close();
  fs::permissions(counter, fs::perms(0666));
  std::ofstream script(converter, std::ios::trunc);
  script << "#!/bin/sh\necho run >>'" << counter << "'\nexec '" << converter
         << ".counted' \"$@\"\n";
  script.close();
  fs::permissions(converter, fs::perms(0755));
}

}  // namespace

int RunCachedLoad(const std::string& site, bool quick) {
  const std::string counter = site + "/converter-runs";
  CountConverterRuns(site, counter);
  const int count = quick ? 300 : 2000;
  const int concurrency = 16;
  const std::chrono::seconds time_limit(quick ? 40 : 600);

  WebServer backend(ServerKind::kLighttpd, site + "/cgi-bin", site + "/load-cached-lighttpd");
  const std::vector<Document> documents = ReadDocuments(site);
  std::vector<std::vector<std::string>> views;
  size_t distinct = 0;
  for (const Document& document : documents) {
    views.push_back(ViewsOf(document, site, backend.port()));
    distinct += views.back().size();
  }
  // Zipf's law over the documents (the k-th most popular asked for in
  // proportion to 1/k), every view of a document alike; the same sequence
  // for every front.
  std::vector<double> weights;
  for (size_t rank = 1; rank <= documents.size(); ++rank) {
    weights.push_back(1.0 / static_cast<double>(rank));
  }
  std::mt19937 random(19);
  std::discrete_distribution<size_t> popularity(weights.begin(), weights.end());
  std::vector<std::string> sequence;
  for (int i = 0; i < count; ++i) {
    const std::vector<std::string>& choices = views[popularity(random)];
    sequence.push_back(
        choices[std::uniform_int_distribution<size_t>(0, choices.size() - 1)(random)]);
  }
  const size_t asked = std::set<std::string>(sequence.begin(), sequence.end()).size();
  std::printf(
      "cached load: %d requests for %zu of the %zu URLs of %zu documents (Zipf: the first has "
      "%.0f%%), concurrency %d, lighttpd behind\n",
      count, asked, distinct, documents.size(), 100 * popularity.probabilities()[0], concurrency);
  std::printf("%-8s %8s %6s %8s %8s %8s %15s %15s\n", "front", "requests", "failed", "req/s",
              "p50 ms", "p99 ms", "hits/misses", "converter/1000");

  std::map<std::string, std::string> bodies;
  std::mutex bodies_mutex;
  int failures = 0;
  for (const Front& front : {Front{"none", std::nullopt}, Front{"varnish", CacheKind::kVarnish},
                             Front{"nginx", CacheKind::kNginx}}) {
    std::unique_ptr<SharedCache> cache;
    if (front.cache) {
      cache = std::make_unique<SharedCache>(*front.cache, backend.port(),
                                            site + "/load-cached-" + front.name);
    }
    const int runs_before = CountLines(counter);
    FrontResult result = Send(cache ? cache->port() : backend.port(), sequence, concurrency,
                              time_limit, bodies, bodies_mutex);
    result.converter_runs = CountLines(counter) - runs_before;
    std::sort(result.latencies_ms.begin(), result.latencies_ms.end());
    std::string hit_ratio = "-";
    if (cache) {
      const CacheCounts counts = cache->Counts();
      char text[48];
      std::snprintf(text, sizeof text, "%ld/%ld %.1f%%", counts.hits, counts.misses,
                    100.0 * static_cast<double>(counts.hits) /
                        static_cast<double>(std::max(1L, counts.hits + counts.misses)));
      hit_ratio = text;
    }
    std::printf("%-8s %8d %6d %8.1f %8.1f %8.1f %15s %15.0f\n", front.name.c_str(), result.requests,
                result.failures, result.requests / std::max(result.seconds, 1e-9),
                Percentile(result.latencies_ms, 50), Percentile(result.latencies_ms, 99),
                hit_ratio.c_str(), 1000.0 * result.converter_runs / std::max(result.requests, 1));
    if (result.requests < count) {
      std::printf("  %d requests not sent within %lld s\n", count - result.requests,
                  static_cast<long long>(time_limit.count()));
    }
    failures += result.failures + (count - result.requests);
  }
  return failures;
}

}  // namespace ostrel::testing
