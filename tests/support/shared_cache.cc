#include "tests/support/shared_cache.h"

#include <stdio.h>

#include <filesystem>
#include <sstream>
#include <stdexcept>

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;

std::string VarnishConfig(int backend_port) {
  return "vcl 4.1;\n"
         "backend default { .host = \"127.0.0.1\"; .port = \"" +
         std::to_string(backend_port) +
         "\"; }\n"
         "include \"" OSTREL_SOURCE_DIR "/deploy/varnish/ostrel.vcl\";\n";
}

std::string NginxConfig(const std::string& work, int port, int backend_port) {
  std::string temp_paths;
  for (const char* kind : {"client_body", "fastcgi", "proxy", "uwsgi", "scgi"}) {
    temp_paths += std::string("  ") + kind + "_temp_path " + work + "/" + kind + ";\n";
  }
  return "daemon off;\n"
         "pid " +
         work +
         "/cache.pid;\n"
         "error_log " +
         work +
         "/error.log warn;\n"
         "events { worker_connections 512; }\n"
         "http {\n"
         "  log_format cache_status $upstream_cache_status;\n"
         "  access_log " +
         work + "/cache_status.log cache_status;\n" + temp_paths + "  proxy_cache_path " + work +
         "/cache keys_zone=ostrel_cache:1m max_size=64m;\n"
         "  upstream ostrel_backends { server 127.0.0.1:" +
         std::to_string(backend_port) +
         "; }\n"
         "  server {\n"
         "    listen 127.0.0.1:" +
         std::to_string(port) +
         ";\n"
         "    location / { include " OSTREL_SOURCE_DIR
         "/deploy/nginx/ostrel-cache.conf; }\n"
         "  }\n"
         "}\n";
}

long VarnishCounter(const std::string& work, const std::string& name) {
  const std::string command =
      "/usr/bin/varnishstat -n '" + work + "/varnish' -1 -f " + name + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) {
    throw std::runtime_error("cannot run varnishstat");
  }
  char line[512];
  long value = -1;
  while (fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string field;
    long number = 0;
    if (fields >> field >> number && field == name) {
      value = number;
    }
  }
  (void)pclose(pipe);  // the value read is the answer; a failed run left -1
  if (value < 0) {
    throw std::runtime_error("varnishstat gave no " + name);
  }
  return value;
}

}  // namespace

const char* CacheName(CacheKind kind) {
  switch (kind) {
    case CacheKind::kVarnish:
      return "varnish";
    case CacheKind::kNginx:
      return "nginx";
  }
  return "?";
}

SharedCache::SharedCache(CacheKind kind, int backend_port, const std::string& work_dir)
    : kind_(kind), work_dir_(work_dir), port_(FreePort()) {
  fs::create_directories(work_dir_);
  const std::string log = work_dir_ + "/console.log";
  switch (kind_) {
    case CacheKind::kVarnish: {
      const std::string config = work_dir_ + "/cache.vcl";
      WriteText(config, VarnishConfig(backend_port));
      process_ = SpawnInGroup(
          {"/usr/sbin/varnishd", "-F", "-a", "127.0.0.1:" + std::to_string(port_), "-T",
           "127.0.0.1:0", "-f", config, "-n", work_dir_ + "/varnish", "-s", "malloc,32m"},
          log);
      break;
    }
    case CacheKind::kNginx: {
      const std::string config = work_dir_ + "/cache.conf";
      WriteText(config, NginxConfig(work_dir_, port_, backend_port));
      process_ = SpawnInGroup({"/usr/sbin/nginx", "-c", config}, log);
      break;
    }
  }
  if (!WaitForListener(port_)) {
    StopGroup(process_);
    throw std::runtime_error(std::string(CacheName(kind_)) + " did not start: " + Log());
  }
}

SharedCache::~SharedCache() { StopGroup(process_); }

CacheCounts SharedCache::Counts() const {
  CacheCounts counts;
  if (kind_ == CacheKind::kVarnish) {
    counts.hits = VarnishCounter(work_dir_, "MAIN.cache_hit");
    counts.misses = VarnishCounter(work_dir_, "MAIN.cache_miss") +
                    VarnishCounter(work_dir_, "MAIN.cache_hitmiss") +
                    VarnishCounter(work_dir_, "MAIN.s_pass");
    return counts;
  }
  std::istringstream lines(ReadText(work_dir_ + "/cache_status.log"));
  for (std::string line; std::getline(lines, line);) {
    ++(line == "HIT" ? counts.hits : counts.misses);
  }
  return counts;
}

std::string SharedCache::Log() const {
  return ReadText(work_dir_ + "/console.log") + ReadText(work_dir_ + "/error.log");
}

}  // namespace ostrel::testing
