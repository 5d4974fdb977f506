#include "tests/support/web_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Lower(std::string text) {
  for (char& character : text) {
    character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
  }
  return text;
}

std::string LighttpdConfig(const std::string& work, int port, const std::string& install) {
  return "server.document-root = \"" + work +
         "\"\n"
         "server.bind = \"127.0.0.1\"\n"
         "server.port = " +
         std::to_string(port) +
         "\n"
         "server.errorlog = \"" +
         work +
         "/error.log\"\n"
         // Without it, the programs' standard error goes to lighttpd's own.
         "server.breakagelog = \"" +
         work +
         "/cgi-error.log\"\n"
         "server.pid-file = \"" +
         work +
         "/server.pid\"\n"
         "var.ostrel_dir = \"" +
         install +
         "\"\n"
         "include \"" OSTREL_SOURCE_DIR "/deploy/lighttpd/ostrel.conf\"\n";
}

std::string ApacheConfig(const std::string& work, int port, const std::string& install) {
  const std::string modules = "/usr/lib/apache2/modules/";
  std::string config =
      "ServerRoot /etc/apache2\n"
      "ServerName 127.0.0.1\n"
      "Listen 127.0.0.1:" +
      std::to_string(port) +
      "\n"
      "PidFile " +
      work +
      "/server.pid\n"
      "ErrorLog " +
      work +
      "/error.log\n"
      "LogLevel warn\n"
      "LoadModule mpm_event_module " +
      modules +
      "mod_mpm_event.so\n"
      "LoadModule authz_core_module " +
      modules +
      "mod_authz_core.so\n"
      "LoadModule alias_module " +
      modules +
      "mod_alias.so\n"
      "LoadModule cgid_module " +
      modules +
      "mod_cgid.so\n"
      "ScriptSock " +
      work +
      "/cgid.sock\n"
      "DocumentRoot " +
      work +
      "\n"
      "Define OSTREL_DIR " +
      install +
      "\n"
      "Include " OSTREL_SOURCE_DIR "/deploy/apache/ostrel.conf\n";
  // Apache will not run its workers as root; the tree is readable by all.
  if (geteuid() == 0) {
    config += "User www-data\nGroup www-data\n";
  }
  return config;
}

std::string NginxConfig(const std::string& work, int port, const std::string& install) {
  std::string temp_paths;
  for (const char* kind : {"client_body", "fastcgi", "proxy", "uwsgi", "scgi"}) {
    temp_paths += std::string("  ") + kind + "_temp_path " + work + "/" + kind + ";\n";
  }
  return "daemon off;\n"
         "pid " +
         work +
         "/server.pid;\n"
         "error_log " +
         work +
         "/error.log warn;\n"
         "events { worker_connections 256; }\n"
         "http {\n"
         "  access_log off;\n" +
         temp_paths +
         "  server {\n"
         "    listen 127.0.0.1:" +
         std::to_string(port) +
         ";\n"
         "    root " +
         work +
         ";\n"
         "    set $ostrel_dir " +
         install +
         ";\n"
         "    set $fcgiwrap_socket " +
         work +
         "/fcgiwrap.sock;\n"
         "    include " OSTREL_SOURCE_DIR
         "/deploy/nginx/ostrel.conf;\n"
         "  }\n"
         "}\n";
}

}  // namespace

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::trunc);
  file << text;
  if (!file) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::string ReadText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void InstallBuiltTree(const std::string& prefix) {
  const std::string command = "'" OSTREL_CMAKE_COMMAND "' --install '" OSTREL_BUILD_DIR
                              "' --prefix '" +
                              prefix + "' >/dev/null";
  if (std::system(command.c_str()) != 0) {
    throw std::runtime_error("failed: " + command);
  }
}

int FreePort() {
  const int socket_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket_fd < 0 ||
      bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error(std::string("no free port: ") + std::strerror(errno));
  }
  close(socket_fd);
  return ntohs(address.sin_port);
}

bool WaitUntil(const std::function<bool()>& ready) {
  for (int attempt = 0; attempt < 200; ++attempt) {
    if (ready()) {
      return true;
    }
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

bool WaitForListener(int port) {
  return WaitUntil([port] {
    const int socket_fd = ConnectLoopback(port);
    if (socket_fd >= 0) {
      close(socket_fd);
    }
    return socket_fd >= 0;
  });
}

pid_t SpawnInGroup(const std::vector<std::string>& argv, const std::string& log_path) {
  std::vector<std::string> arguments = argv;
  std::vector<char*> pointers;
  for (std::string& argument : arguments) {
    pointers.push_back(argument.data());
  }
  pointers.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) {
    throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  }
  if (pid == 0) {
    const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    const int null = open("/dev/null", O_RDONLY);
    if (log < 0 || null < 0 || dup2(null, 0) < 0 || dup2(log, 1) < 0 || dup2(log, 2) < 0) {
      _exit(127);
    }
    (void)signal(SIGPIPE, SIG_DFL);
    // Its own process group, so that stopping it also stops its workers.
    (void)setpgid(0, 0);
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  return pid;
}

void StopGroup(pid_t& pid) {
  if (pid <= 0) {
    return;
  }
  kill(-pid, SIGTERM);
  int status = 0;
  if (!WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; })) {
    kill(-pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  kill(-pid, SIGKILL);  // workers that outlived their parent
  pid = -1;
}

int ConnectLoopback(int port, int receive_buffer) {
  const int socket_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket_fd < 0) {
    return -1;
  }
  if (receive_buffer > 0) {
    (void)setsockopt(socket_fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
  }
  // A server that stops answering fails the test instead of hanging it.
  const timeval timeout{60, 0};
  (void)setsockopt(socket_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(socket_fd);
    return -1;
  }
  return socket_fd;
}

const char* ServerName(ServerKind kind) {
  switch (kind) {
    case ServerKind::kLighttpd:
      return "lighttpd";
    case ServerKind::kApache:
      return "apache";
    case ServerKind::kNginx:
      return "nginx";
  }
  return "?";
}

std::string HttpResponse::Header(const std::string& name) const {
  for (const auto& [key, value] : headers) {
    if (Lower(key) == Lower(name)) {
      return value;
    }
  }
  return "";
}

HttpResponse HttpGet(int port, const std::string& target, const std::string& extra_headers) {
  const int socket_fd = ConnectLoopback(port);
  if (socket_fd < 0) {
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  const std::string lower_headers = Lower("\r\n" + extra_headers);
  const std::string host =
      lower_headers.find("\r\nhost:") == std::string::npos ? "Host: 127.0.0.1\r\n" : "";
  const std::string request = "GET " + target + " HTTP/1.0\r\n" + host + extra_headers + "\r\n";
  std::string reply;
  if (send(socket_fd, request.data(), request.size(), MSG_NOSIGNAL) ==
      static_cast<ssize_t>(request.size())) {
    char buffer[65536];
    for (ssize_t got; (got = recv(socket_fd, buffer, sizeof buffer, 0)) > 0;) {
      reply.append(buffer, static_cast<size_t>(got));
    }
  }
  close(socket_fd);
  const size_t end = reply.find("\r\n\r\n");
  if (end == std::string::npos) {
    throw std::runtime_error("no HTTP header in the reply to " + target + ": " + reply);
  }
  HttpResponse response;
  std::istringstream head(reply.substr(0, end));
  std::getline(head, response.status_line);
  if (!response.status_line.empty() && response.status_line.back() == '\r') {
    response.status_line.pop_back();
  }
  for (std::string line; std::getline(head, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      const size_t value = line.find_first_not_of(' ', colon + 1);
      response.headers.emplace_back(line.substr(0, colon),
                                    value == std::string::npos ? "" : line.substr(value));
    }
  }
  response.body = reply.substr(end + 4);
  return response;
}

WebServer::WebServer(ServerKind kind, const std::string& install_dir, const std::string& work_dir)
    : kind_(kind), work_dir_(work_dir), port_(FreePort()) {
  fs::create_directories(work_dir_);
  const std::string config = work_dir_ + "/server.conf";
  switch (kind_) {
    case ServerKind::kLighttpd:
      WriteText(config, LighttpdConfig(work_dir_, port_, install_dir));
      server_ =
          SpawnInGroup({"/usr/sbin/lighttpd", "-D", "-f", config}, work_dir_ + "/console.log");
      break;
    case ServerKind::kApache:
      WriteText(config, ApacheConfig(work_dir_, port_, install_dir));
      server_ = SpawnInGroup({"/usr/sbin/apache2", "-f", config, "-DFOREGROUND"},
                             work_dir_ + "/console.log");
      break;
    case ServerKind::kNginx: {
      const std::string socket_path = work_dir_ + "/fcgiwrap.sock";
      // -f sends the programs' standard error to nginx's error log.
      fcgiwrap_ = SpawnInGroup({"/usr/sbin/fcgiwrap", "-f", "-c", "4", "-s", "unix:" + socket_path},
                               work_dir_ + "/fcgiwrap.log");
      if (!WaitUntil([&] { return fs::exists(socket_path); })) {
        throw std::runtime_error("fcgiwrap did not create its socket");
      }
      // nginx's workers run as another user when the tests run as root.
      if (chmod(socket_path.c_str(), 0666) != 0) {
        throw std::runtime_error("cannot open fcgiwrap's socket to nginx");
      }
      WriteText(config, NginxConfig(work_dir_, port_, install_dir));
      server_ = SpawnInGroup({"/usr/sbin/nginx", "-c", config}, work_dir_ + "/console.log");
      break;
    }
  }
  if (!WaitForListener(port_)) {
    const std::string log = ReadText(work_dir_ + "/console.log") + ErrorLog();
    StopGroup(server_);
    StopGroup(fcgiwrap_);
    throw std::runtime_error(std::string(ServerName(kind_)) + " did not start: " + log);
  }
}

WebServer::~WebServer() {
  StopGroup(server_);
  StopGroup(fcgiwrap_);
}

std::string WebServer::script_path() const {
  return kind_ == ServerKind::kApache ? "/cgi-bin/nph-ostrel" : "/cgi-bin/ostrel";
}

std::string WebServer::ErrorLog() const {
  return ReadText(work_dir_ + "/error.log") + ReadText(work_dir_ + "/cgi-error.log");
}

}  // namespace ostrel::testing
