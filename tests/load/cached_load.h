// The load client's cached run: one skewed sequence of page and tile
// requests, sent to lighttpd directly, then through each shared cache in
// front of it.
#ifndef OSTREL_TESTS_LOAD_CACHED_LOAD_H_
#define OSTREL_TESTS_LOAD_CACHED_LOAD_H_

#include <string>

namespace ostrel::testing {

// Runs the comparison over the demo site `site` (its installed tree, whose
// converter it wraps to count runs, and its sample images) and prints one
// row per front: requests, failures, throughput, p50 and p99 latency, the
// cache's hit ratio and converter runs per 1000 requests. `quick` is the
// short run. Returns the number of failed requests: a status other than 200,
// or a body that differs from the first one for its URL.
int RunCachedLoad(const std::string& site, bool quick);

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_LOAD_CACHED_LOAD_H_
