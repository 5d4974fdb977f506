// Real web servers on loopback for the integration tests: lighttpd, Apache
// httpd and nginx with fcgiwrap, each mounting an installed tree through the
// snippet in deploy/.
#ifndef OSTREL_TESTS_SUPPORT_WEB_SERVER_H_
#define OSTREL_TESTS_SUPPORT_WEB_SERVER_H_

#include <sys/types.h>

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace ostrel::testing {

enum class ServerKind { kLighttpd, kApache, kNginx };

const char* ServerName(ServerKind kind);
inline void PrintTo(ServerKind kind, std::ostream* stream) { *stream << ServerName(kind); }

struct HttpResponse {
  std::string status_line;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // The first header of that name, letter case ignored; empty when absent.
  std::string Header(const std::string& name) const;
};

// A TCP connection to 127.0.0.1:`port`, or -1 when it cannot be made. A
// `receive_buffer` above 0 shrinks the socket's receive buffer to that many
// bytes; a reply that stalls for 60 s fails the read.
int ConnectLoopback(int port, int receive_buffer = 0);

// One GET over HTTP/1.0 to 127.0.0.1:`port`, with `extra_headers` (whole
// lines, each ending in CR LF) after Host, read until the server closes;
// Host is 127.0.0.1 unless `extra_headers` name one. Throws
// std::runtime_error when the connection fails or the reply has no header
// block.
HttpResponse HttpGet(int port, const std::string& target, const std::string& extra_headers = "");

// Writes `text` as the whole file at `path`; throws std::runtime_error when
// it cannot.
void WriteText(const std::string& path, const std::string& text);
// The whole file at `path`; empty when it cannot be read.
std::string ReadText(const std::string& path);

// Installs the built tree with `cmake --install` into `prefix`, as users
// deploy it; throws std::runtime_error when that fails.
void InstallBuiltTree(const std::string& prefix);

// A loopback port that nothing listened on a moment ago.
int FreePort();

// Runs `argv` (a full path first) in a process group of its own, standard
// output and error appended to `log_path`, standard input from /dev/null.
pid_t SpawnInGroup(const std::vector<std::string>& argv, const std::string& log_path);

// Ends the process group of `pid` (SIGTERM, after 10 s SIGKILL), reaps `pid`
// and sets it to -1; does nothing for a `pid` of -1.
void StopGroup(pid_t& pid);

// Whether `ready` returns true within 10 s, asked every 50 ms.
bool WaitUntil(const std::function<bool()>& ready);

// Whether something accepts connections on 127.0.0.1:`port` within 10 s.
bool WaitForListener(int port);

class WebServer {
 public:
  // Starts `kind` on a free loopback port, serving the program installed in
  // `install_dir`; configuration, logs and sockets go to `work_dir`. Throws
  // std::runtime_error when the server does not come up within 10 s.
  WebServer(ServerKind kind, const std::string& install_dir, const std::string& work_dir);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  int port() const { return port_; }
  // The URL path at which the server runs the program.
  std::string script_path() const;
  HttpResponse Get(const std::string& target, const std::string& extra_headers = "") const {
    return HttpGet(port_, target, extra_headers);
  }
  // Everything the server (and the programs it ran) wrote to its error log.
  std::string ErrorLog() const;

 private:
  ServerKind kind_;
  std::string work_dir_;
  int port_ = 0;
  pid_t server_ = -1;
  pid_t fcgiwrap_ = -1;
};

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_WEB_SERVER_H_
