// The load test's client: runs lighttpd and Apache on loopback over a demo
// site (scripts/lib/site.sh's make_site), sends each a bounded load of
// requests for the sample TIFFs and for requests that end in the error page,
// checks every body byte for byte against what the program answers when run
// directly, aborts a run of requests mid-response, and then looks for what
// must not be left: temporary files, and running or zombie processes of the
// program and its converter. Then, with --quick, a short cached run (see
// cached_load.h): lighttpd alone against Varnish and nginx in front of it;
// --cached makes that run alone, in full unless --quick is given too.
//
//   load_client SITE [--quick] [--server lighttpd|apache] [--cached]
//
// Prints requests per second and latency percentiles for each phase; exits
// 1 when any request failed or anything was left.
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/slot_lock.h"
#include "tests/load/cached_load.h"
#include "tests/support/process_table.h"
#include "tests/support/web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

namespace fs = std::filesystem;
using ostrel::testing::ServerKind;
using ostrel::testing::WebServer;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// One kind of request and the body it must get.
struct Case {
  std::string query;
  std::string body;
};

struct PhaseResult {
  std::string name;
  int requests = 0;
  int failures = 0;
  double seconds = 0;
  std::vector<double> latencies_ms;
};

// The program's answer to `query` when run directly as the server would run
// it at `script_name`, without its header block.
std::string DirectBody(const std::string& program, const std::string& script_name,
                       const std::string& query) {
  int output[2];
  if (pipe(output) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = fork();
  if (child == 0) {
    dup2(output[1], STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);  // the log is not part of the answer
    close(output[0]);
    close(output[1]);
    const std::string method = "REQUEST_METHOD=GET";
    const std::string query_variable = "QUERY_STRING=" + query;
    const std::string script = "SCRIPT_NAME=" + script_name;
    char* environment[] = {const_cast<char*>(method.c_str()),
                           const_cast<char*>(query_variable.c_str()),
                           const_cast<char*>(script.c_str()), nullptr};
    execle(program.c_str(), program.c_str(), nullptr, environment);
    _exit(127);
  }
  close(output[1]);
  std::string response;
  char buffer[65536];
  for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;) {
    response.append(buffer, static_cast<size_t>(got));
  }
  close(output[0]);
  waitpid(child, nullptr, 0);
  const size_t end = response.find("\r\n\r\n");
  if (end == std::string::npos) {
    throw std::runtime_error("no response from the program for " + query);
  }
  return response.substr(end + 4);
}

// One GET; returns an empty text on success, else what went wrong. With
// `abort_after` > 0 the connection is reset once that many bytes arrived.
std::string Request(int port, const std::string& target, const std::string& expected,
                    size_t abort_after) {
  // A small window makes the server block on a large reply, so that an
  // abort lands while the program is still writing it.
  const int socket_fd = ostrel::testing::ConnectLoopback(port, abort_after > 0 ? 4096 : 0);
  if (socket_fd < 0) {
    return "cannot connect";
  }
  const std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  std::string reply;
  std::string problem;
  if (send(socket_fd, request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    problem = "send failed";
  }
  char buffer[65536];
  while (problem.empty() && (abort_after == 0 || reply.size() < abort_after)) {
    const ssize_t got = recv(socket_fd, buffer, sizeof buffer, 0);
    if (got < 0) {
      problem = std::string("receive failed: ") + std::strerror(errno);
    }
    if (got <= 0) {
      break;
    }
    reply.append(buffer, static_cast<size_t>(got));
  }
  if (abort_after > 0) {
    const linger reset{1, 0};  // close with RST, as a client that vanished
    setsockopt(socket_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  close(socket_fd);
  if (!problem.empty() || abort_after > 0) {
    return problem;
  }
  const size_t end = reply.find("\r\n\r\n");
  if (end == std::string::npos) {
    return "no header block in " + std::to_string(reply.size()) + " bytes";
  }
  if (reply.compare(end + 4, std::string::npos, expected) != 0) {
    return "body differs: " + std::to_string(reply.size() - end - 4) + " bytes, expected " +
           std::to_string(expected.size());
  }
  return {};
}

// Sends `count` requests from `concurrency` threads, case after case, for
// at most `time_limit`.
PhaseResult RunPhase(const std::string& name, int port, const std::string& script,
                     const std::vector<Case>& cases, int count, int concurrency,
                     std::chrono::seconds time_limit, size_t abort_after = 0) {
  PhaseResult result;
  result.name = name;
  std::atomic<int> next{0};
  std::mutex mutex;
  const Clock::time_point start = Clock::now();
  const Clock::time_point stop = start + time_limit;
  std::vector<std::thread> threads;
  for (int t = 0; t < concurrency; ++t) {
    threads.emplace_back([&] {
      for (int i; (i = next++) < count && Clock::now() < stop;) {
        const Case& c = cases[static_cast<size_t>(i) % cases.size()];
        const Clock::time_point begin = Clock::now();
        const std::string problem = Request(port, script + "?" + c.query, c.body, abort_after);
        const double latency =
            std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        const std::lock_guard<std::mutex> lock(mutex);
        ++result.requests;
        result.latencies_ms.push_back(latency);
        if (!problem.empty()) {
          if (++result.failures <= 5) {
            std::fprintf(stderr, "  failed: %s: %s\n", c.query.c_str(), problem.c_str());
          }
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

void Print(const std::string& server, PhaseResult& phase) {
  std::sort(phase.latencies_ms.begin(), phase.latencies_ms.end());
  const auto percentile = [&](double p) {
    if (phase.latencies_ms.empty()) {
      return 0.0;
    }
    const auto index =
        static_cast<size_t>(p / 100 * static_cast<double>(phase.latencies_ms.size() - 1));
    return phase.latencies_ms[index];
  };
  std::printf(
      "%-9s %-22s %5d requests %3d failed %7.1f req/s  p50 %6.0f  p90 %6.0f  p99 %6.0f  max %6.0f "
      "ms\n",
      server.c_str(), phase.name.c_str(), phase.requests, phase.failures,
      phase.requests / std::max(phase.seconds, 1e-9), percentile(50), percentile(90),
      percentile(99), percentile(100));
}

// What the run left: files in the temporary directory tree and processes of the
// installed tree, after up to ten seconds for the last ones to finish.
int CountLeftovers(const std::string& site) {
  const std::string temp = site + "/tmp";
  std::vector<std::string> files;
  for (int attempt = 0; attempt < 100; ++attempt) {
    files.clear();
    // Directories do not count: the server's user may keep a private one
    // there; nor do the conversion slots' lock files, which stay for good.
    for (const auto& entry : fs::recursive_directory_iterator(temp)) {
      if (!entry.is_directory() &&
          !entry.path().filename().string().starts_with(ostrel::kSlotFilePrefix)) {
        files.push_back(fs::relative(entry.path(), temp).string());
      }
    }
    if (files.empty()) {
      break;
    }
    std::this_thread::sleep_for(milliseconds(100));
  }
  const std::vector<pid_t> running =
      ostrel::testing::LiveProcessesWith(site + "/cgi-bin/", milliseconds(10000));
  int zombies = 0;
  for (const char* name : {"ostrel", "nph-ostrel", "Caskle.ClsCask"}) {
    zombies += static_cast<int>(ostrel::testing::ZombieProcessesNamed(name).size());
  }
  for (const std::string& file : files) {
    std::fprintf(stderr, "  left: %s/%s\n", temp.c_str(), file.c_str());
  }
  for (const pid_t pid : running) {
    std::fprintf(stderr, "  still running: process %d\n", pid);
  }
  std::printf("leftovers: %zu temporary files, %zu processes still running, %d zombies\n",
              files.size(), running.size(), zombies);
  return static_cast<int>(files.size() + running.size()) + zombies;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  if (arguments.empty()) {
    std::fprintf(stderr,
                 "usage: load_client SITE [--quick] [--server lighttpd|apache] [--cached]\n");
    return 2;
  }
  const std::string site = fs::canonical(arguments[0]).string();
  const bool quick = std::find(arguments.begin(), arguments.end(), "--quick") != arguments.end();
  const bool cached = std::find(arguments.begin(), arguments.end(), "--cached") != arguments.end();
  std::vector<ServerKind> servers = {ServerKind::kLighttpd, ServerKind::kApache};
  const auto server_option = std::find(arguments.begin(), arguments.end(), "--server");
  if (server_option != arguments.end() && server_option + 1 != arguments.end()) {
    servers = {*(server_option + 1) == "apache" ? ServerKind::kApache : ServerKind::kLighttpd};
  }
  // Bounded in count and in time: the full run and the short one that
  // scripts/test makes.
  const int requests_16 = quick ? 60 : 1000;
  const int requests_64 = quick ? 120 : 2000;
  const int aborts = quick ? 40 : 200;
  const std::chrono::seconds time_limit(quick ? 30 : 300);

  int failures = 0;
  int leftovers = 0;
  try {
    if (cached) {
      servers.clear();
    }
    const std::string images = site + "/images/";
    std::vector<std::string> samples;
    for (const auto& entry : fs::directory_iterator(images)) {
      if (entry.path().extension() == ".tif") {
        samples.push_back(entry.path().stem().string());
      }
    }
    std::sort(samples.begin(), samples.end());
    for (const ServerKind kind : servers) {
      const std::string name = ostrel::testing::ServerName(kind);
      const std::string work = site + "/load-" + name;
      WebServer server(kind, site + "/cgi-bin", work);
      const std::string program = site + "/cgi-bin/ostrel";
      std::vector<Case> cases;
      for (const std::string& sample : samples) {
        cases.push_back({"FN=" + sample + "&Path=" + images, ""});
      }
      // Error pages: a missing file, a refused name, an injected item. (A
      // malformed escape would not do: lighttpd passes "%zz" on as "%25zz".)
      for (const std::string& query : {"FN=missing&Path=" + images, std::string("FN=..%2Fx&Path=/"),
                                       std::string("FN=scan01&Path=/srv,+dest=/tmp/x")}) {
        cases.push_back({query, ""});
      }
      for (Case& c : cases) {
        c.body = DirectBody(program, server.script_path(), c.query);
      }
      // The largest answer is the one to abort in the middle of.
      const Case largest = *std::max_element(
          cases.begin(), cases.end(),
          [](const Case& a, const Case& b) { return a.body.size() < b.body.size(); });
      std::vector<PhaseResult> phases;
      phases.push_back(RunPhase("concurrency 16", server.port(), server.script_path(), cases,
                                requests_16, 16, time_limit));
      phases.push_back(RunPhase("concurrency 64", server.port(), server.script_path(), cases,
                                requests_64, 64, time_limit));
      phases.push_back(RunPhase("aborted mid-response", server.port(), server.script_path(),
                                {largest}, aborts, 16, time_limit, 2048));
      for (PhaseResult& phase : phases) {
        Print(name, phase);
        failures += phase.failures;
      }
      leftovers += CountLeftovers(site);
    }
    // The short run ends with a short cached run.
    if (cached || quick) {
      failures += ostrel::testing::RunCachedLoad(site, quick);
      leftovers += CountLeftovers(site);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "load_client: %s\n", error.what());
    return 1;
  }
  std::printf("total: %d failures, %d leftovers\n", failures, leftovers);
  return failures == 0 && leftovers == 0 ? 0 : 1;
}
