#include "support/maven_server.h"

#define CPPHTTPLIB_OPENSSL_SUPPORT
#include <httplib.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>

#include "net/sha1.h"
#include "support/server_fault.h"
#include "support/tls_certificate.h"

namespace zarn::testing {
namespace {

constexpr std::string_view kPrefix = "/maven2/";

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto at = text.find(separator, start);
    parts.push_back(text.substr(start, at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

void write_bytes(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

std::string dependency_xml(const PomDep& dep) {
  std::string text = "    <dependency>\n      <groupId>" + dep.group +
                     "</groupId>\n      <artifactId>" + dep.artifact +
                     "</artifactId>\n      <version>" + dep.version + "</version>\n";
  if (!dep.scope.empty()) text += "      <scope>" + dep.scope + "</scope>\n";
  if (!dep.optional.empty()) text += "      <optional>" + dep.optional + "</optional>\n";
  return text + "    </dependency>\n";
}

std::string pom_text(const std::vector<PomDep>& deps) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<project xmlns=\"http://maven.apache.org/POM/4.0.0\">\n"
      "  <modelVersion>4.0.0</modelVersion>\n  <dependencies>\n";
  for (const PomDep& dep : deps) text += dependency_xml(dep);
  return text + "  </dependencies>\n</project>\n";
}

struct MavenServer::State {
  explicit State(std::unique_ptr<httplib::Server> made) : server(*made), owned(std::move(made)) {}
  httplib::Server& server;
  std::unique_ptr<httplib::Server> owned;
  bool tls = false;
  std::thread thread;
  int port = 0;
  std::atomic<bool> stopping{false};
  mutable std::mutex mutex;
  std::map<std::string, Fault> faults;
  std::map<std::string, int> counts;
  std::vector<std::string> log;
  std::set<std::pair<std::string, int>> clients;
  std::string user_agent;
  std::string authorization;
  std::map<std::string, std::string> authorizations;
  std::atomic<int> latency_ms{0};
  std::atomic<int> stalls{0};
  std::atomic<int> close_every{0};
  std::atomic<int> answered{0};
  std::atomic<int> answering{0};
  std::vector<int> at_once;

  Fault record(const httplib::Request& request) {
    std::lock_guard lock(mutex);
    ++counts[request.path];
    log.push_back(request.path);
    clients.emplace(request.remote_addr, request.remote_port);
    user_agent = request.get_header_value("User-Agent");
    authorization = request.get_header_value("Authorization");
    authorizations[request.path] = authorization;
    const auto found = faults.find(request.path);
    Fault fault = found == faults.end() ? Fault{} : found->second;
    fault.stalls = &stalls;
    return fault;
  }
};

MavenServer::MavenServer(const TlsCertificate& certificate)
    : state_(std::make_unique<State>(std::make_unique<httplib::SSLServer>(
          certificate.certificate().c_str(), certificate.key().c_str()))) {
  state_->tls = true;
  start();
}

MavenServer::MavenServer() : state_(std::make_unique<State>(std::make_unique<httplib::Server>())) {
  start();
}

void MavenServer::start() {
  ::setenv("no_proxy", "127.0.0.1,localhost", 1);
  ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  State& state = *state_;
  state.server.set_keep_alive_max_count(100000);
  // A worker waits this long on an idle connection, and stopping waits for it.
  state.server.set_keep_alive_timeout(1);
  // A kept-alive connection holds a worker, and a stalled answer holds its
  // worker until the server stops: parallel clients need many.
  state.server.new_task_queue = [] { return new httplib::ThreadPool(64); };
  state.server.set_tcp_nodelay(true);  // no 40 ms wait between headers and body
  const std::filesystem::path root = files_.path();
  state.server.Get(R"(/maven2/.*)", [&state, root](const httplib::Request& request,
                                                   httplib::Response& response) {
    const Fault fault = state.record(request);
    {
      std::lock_guard lock(state.mutex);
      state.at_once.push_back(++state.answering);
    }
    struct Answered {
      std::atomic<int>& answering;
      ~Answered() { --answering; }
    } answered{state.answering};
    if (const int every = state.close_every; every > 0 && ++state.answered % every == 0) {
      response.set_header("Connection", "close");
    }
    if (const int latency = state.latency_ms; latency > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(latency));
    }
    if (!fault.redirect_to.empty()) {
      response.set_redirect(fault.redirect_to);
      return;
    }
    if (fault.status != 0) {
      response.status = fault.status;
      response.set_content("fault", "text/plain");
      return;
    }
    const auto file = root / request.path.substr(kPrefix.size());
    std::ifstream in(file, std::ios::binary);
    if (request.path.find("..") != std::string::npos || !in) {
      response.status = 404;
      response.set_content("missing", "text/plain");
      return;
    }
    serve_body(response, std::string(std::istreambuf_iterator<char>(in), {}), fault,
               state.stopping);
  });
  if (!state.server.is_valid()) throw std::runtime_error("cannot set up the test server");
  state.port = state.server.bind_to_any_port("127.0.0.1");
  if (state.port <= 0) throw std::runtime_error("cannot bind a loopback port");
  state.thread = std::thread([&state] { state.server.listen_after_bind(); });
  while (!state.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

MavenServer::~MavenServer() {
  state_->stopping = true;
  state_->server.stop();
  state_->thread.join();
}

int MavenServer::port() const {
  return state_->port;
}

std::string MavenServer::repo_url() const {
  return (state_->tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port()) +
         "/maven2";
}

std::string MavenServer::path_of(const std::string& coord, const std::string& extension) {
  const auto parts = split(coord, ':');
  std::string group = parts.at(0);
  std::replace(group.begin(), group.end(), '.', '/');
  return std::string(kPrefix) + group + "/" + parts.at(1) + "/" + parts.at(2) + "/" + parts.at(1) +
         "-" + parts.at(2) + "." + extension;
}

void MavenServer::add_file(const std::string& relative_path, const std::string& content) {
  write_bytes(files_.path() / relative_path, content);
}

void MavenServer::add_pom(const std::string& coord, const std::string& body) {
  add_file(path_of(coord, "pom").substr(kPrefix.size()), body);
}

void MavenServer::add_pom(const std::string& coord, const std::vector<PomDep>& deps) {
  add_pom(coord, pom_text(deps));
}

void MavenServer::add_jar(const std::string& coord, std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 26);
  const std::string relative = path_of(coord, "jar").substr(kPrefix.size());
  add_file(relative, content);
  net::Sha1 sha1;
  sha1.update(content);
  add_file(relative + ".sha1", sha1.hex_digest());
}

void MavenServer::close_connections(int every) {
  state_->close_every = every;
}

std::vector<int> MavenServer::requests_at_once() const {
  std::lock_guard lock(state_->mutex);
  return state_->at_once;
}

void MavenServer::set_latency(int milliseconds) {
  state_->latency_ms = milliseconds;
}

void MavenServer::fail_with(const std::string& path, int status) {
  std::lock_guard lock(state_->mutex);
  state_->faults[path].status = status;
}

void MavenServer::stall_after(const std::string& path, std::size_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->faults[path].stall_after = bytes;
}

void MavenServer::cut_after(const std::string& path, std::size_t bytes) {
  std::lock_guard lock(state_->mutex);
  state_->faults[path].stall_after = bytes;
  state_->faults[path].cut = true;
}

void MavenServer::clear_faults(const std::string& path) {
  std::lock_guard lock(state_->mutex);
  state_->faults.erase(path);
}

void MavenServer::slow_body(const std::string& path, std::size_t piece_size, int pause_ms) {
  std::lock_guard lock(state_->mutex);
  state_->faults[path].piece_size = piece_size;
  state_->faults[path].pause_ms = pause_ms;
}

void MavenServer::redirect(const std::string& path, const std::string& target) {
  std::lock_guard lock(state_->mutex);
  state_->faults[path].redirect_to = target;
}

int MavenServer::requests(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  const auto count = state_->counts.find(path);
  return count == state_->counts.end() ? 0 : count->second;
}

int MavenServer::stalls() const {
  return state_->stalls;
}

std::string jar_of(const std::string& coord) {
  return MavenServer::path_of(coord, "jar");
}

int MavenServer::total_requests() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<int>(state_->log.size());
}

std::vector<std::string> MavenServer::request_log() const {
  std::lock_guard lock(state_->mutex);
  return state_->log;
}

int MavenServer::connections() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<int>(state_->clients.size());
}

std::string MavenServer::last_user_agent() const {
  std::lock_guard lock(state_->mutex);
  return state_->user_agent;
}

std::string MavenServer::last_authorization() const {
  std::lock_guard lock(state_->mutex);
  return state_->authorization;
}

}  // namespace zarn::testing

namespace zarn::testing {

void MavenServer::send_chunked(const std::string& path) {
  std::lock_guard lock(state_->mutex);
  state_->faults[path].chunked = true;
}

std::string MavenServer::authorization_of(const std::string& path) const {
  std::lock_guard lock(state_->mutex);
  const auto found = state_->authorizations.find(path);
  return found == state_->authorizations.end() ? "" : found->second;
}

}  // namespace zarn::testing
