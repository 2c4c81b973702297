#include "support/nghttpd_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace zarn::testing {
namespace {

constexpr const char* kProgram = "/usr/sbin/nghttpd";

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  return address;
}

/// A port nothing listens on now (taken from the kernel, then let go).
int free_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  socklen_t length = sizeof address;
  auto* generic = reinterpret_cast<sockaddr*>(&address);
  const bool bound = ::bind(fd, generic, length) == 0 && ::getsockname(fd, generic, &length) == 0;
  ::close(fd);
  if (!bound) throw std::runtime_error("cannot find a free loopback port");
  return ntohs(address.sin_port);
}

bool accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopback(port);
  const bool connected =
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

bool NghttpdServer::available() {
  return ::access(kProgram, X_OK) == 0;
}

NghttpdServer::NghttpdServer(const std::filesystem::path& docroot,
                             const TlsCertificate& certificate)
    : port_(free_port()) {
  const std::string log = (files_ / "log").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  const std::string root = "--htdocs=" + docroot.string();
  const std::string port = std::to_string(port_);
  const std::string key = certificate.key().string();
  const std::string cert = certificate.certificate().string();
  std::vector<std::string> arguments{kProgram, "--verbose", "--address=127.0.0.1", root, port,
                                     key,      cert};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const int error = posix_spawn(&pid_, kProgram, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start nghttpd");
  for (int tries = 0; tries < 500 && !accepts(port_); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

NghttpdServer::~NghttpdServer() {
  stop();
}

void NghttpdServer::stop() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string NghttpdServer::url() const {
  return "https://127.0.0.1:" + std::to_string(port_);
}

std::vector<std::string> NghttpdServer::log_lines() const {
  std::istringstream in(read_file(files_ / "log"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> NghttpdServer::request_paths() const {
  static const std::regex path(R"(recv \(stream_id=\d+\) :path: (\S+))");
  std::vector<std::string> paths;
  std::smatch match;
  for (const std::string& line : log_lines()) {
    if (std::regex_search(line, match, path)) paths.push_back(match[1]);
  }
  return paths;
}

int NghttpdServer::connections() const {
  static const std::regex id(R"(^\[id=(\d+)\].* :path: )");
  std::set<std::string> ids;
  std::smatch match;
  for (const std::string& line : log_lines()) {
    if (std::regex_search(line, match, id)) ids.insert(match[1]);
  }
  return static_cast<int>(ids.size());
}

int NghttpdServer::most_streams_at_once() const {
  static const std::regex opened(R"(^\[id=(\d+)\].* :path: )");
  static const std::regex closed(R"(^\[id=(\d+)\].* stream_id=\d+ closed)");
  std::map<std::string, int> open;
  int most = 0;
  std::smatch match;
  for (const std::string& line : log_lines()) {
    if (std::regex_search(line, match, opened)) {
      most = std::max(most, ++open[match[1]]);
    } else if (std::regex_search(line, match, closed)) {
      --open[match[1]];
    }
  }
  return most;
}

}  // namespace zarn::testing
