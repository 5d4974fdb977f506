// A shared HTTP cache on loopback in front of a web server that runs Ostrel,
// configured by its file in deploy/: Varnish, or nginx's proxy_cache.
#ifndef OSTREL_TESTS_SUPPORT_SHARED_CACHE_H_
#define OSTREL_TESTS_SUPPORT_SHARED_CACHE_H_

#include <sys/types.h>

#include <ostream>
#include <string>

#include "tests/support/web_server.h"

namespace ostrel::testing {

enum class CacheKind { kVarnish, kNginx };

const char* CacheName(CacheKind kind);
inline void PrintTo(CacheKind kind, std::ostream* stream) { *stream << CacheName(kind); }

// What the cache says it did with the requests it answered so far.
struct CacheCounts {
  long hits = 0;
  long misses = 0;  // fetched from the backend, whether stored or not
};

class SharedCache {
 public:
  // Starts `kind` on a free loopback port in front of the web server on
  // 127.0.0.1:`backend_port`; configuration, storage and logs go to
  // `work_dir`. Throws std::runtime_error when it does not come up in 10 s.
  SharedCache(CacheKind kind, int backend_port, const std::string& work_dir);
  ~SharedCache();
  SharedCache(const SharedCache&) = delete;
  SharedCache& operator=(const SharedCache&) = delete;

  int port() const { return port_; }
  HttpResponse Get(const std::string& target, const std::string& extra_headers = "") const {
    return HttpGet(port_, target, extra_headers);
  }
  // From varnishstat, or from nginx's log of $upstream_cache_status.
  CacheCounts Counts() const;
  std::string Log() const;

 private:
  CacheKind kind_;
  std::string work_dir_;
  int port_ = 0;
  pid_t process_ = -1;
};

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_SHARED_CACHE_H_
