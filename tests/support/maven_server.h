#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace zarn::testing {

/// A dependency line of a fixture descriptor.
struct PomDep {
  PomDep(std::string group_id, std::string artifact_id, std::string version_text = "1",
         std::string scope_text = "", std::string optional_text = "")
      : group(std::move(group_id)),
        artifact(std::move(artifact_id)),
        version(std::move(version_text)),
        scope(std::move(scope_text)),
        optional(std::move(optional_text)) {}

  std::string group;
  std::string artifact;
  std::string version;
  std::string scope;     ///< no <scope> when empty
  std::string optional;  ///< no <optional> when empty
};

/// The <dependency> element of dep.
std::string dependency_xml(const PomDep& dep);
/// A POM 4.0.0 descriptor listing deps in its <dependencies> section.
std::string pom_text(const std::vector<PomDep>& deps);

/// The request path of a coordinate's archive.
std::string jar_of(const std::string& coord);

/// An HTTP server on 127.0.0.1 (a free port) serving a Maven-layout folder
/// below /maven2, in a background thread, with faults that tests switch on
/// per request path. Stops when destroyed. Also sets no_proxy for loopback.
class MavenServer {
 public:
  MavenServer();
  /// Over TLS with the certificate's key (repo_url() says "https").
  explicit MavenServer(const class TlsCertificate& certificate);
  ~MavenServer();
  MavenServer(const MavenServer&) = delete;
  MavenServer& operator=(const MavenServer&) = delete;

  int port() const;
  /// "http://127.0.0.1:{port}/maven2"
  std::string repo_url() const;
  const std::filesystem::path& root() const { return files_.path(); }

  /// The request path of a coordinate's file: "/maven2/g/a/1/a-1.{extension}".
  static std::string path_of(const std::string& coord, const std::string& extension);
  void add_pom(const std::string& coord, const std::string& body);
  void add_pom(const std::string& coord, const std::vector<PomDep>& deps);
  /// An archive of size bytes (a repeating pattern) and its ".sha1" file.
  void add_jar(const std::string& coord, std::size_t size = 1000);
  /// Any file below /maven2 (path relative to it).
  void add_file(const std::string& relative_path, const std::string& content);

  /// Delays every answer by this long, as a distant server would.
  void set_latency(int milliseconds);
  /// Answers requests for path with this status and a short body.
  void fail_with(const std::string& path, int status);
  /// Sends the headers and the first bytes of path's body, then stalls
  /// until the server stops (for bytes 0, nothing after the headers).
  void stall_after(const std::string& path, std::size_t bytes);
  /// Sends the first bytes of path's body, then closes the connection.
  void cut_after(const std::string& path, std::size_t bytes);
  /// Serves path normally again.
  void clear_faults(const std::string& path);
  /// Sends path's body in pieces of piece_size with a pause between them.
  void slow_body(const std::string& path, std::size_t piece_size, int pause_ms);
  /// Answers path with a redirect to target (a request path or an address).
  void redirect(const std::string& path, const std::string& target);
  /// Sends path's body in chunks, without a Content-Length.
  void send_chunked(const std::string& path);

  int requests(const std::string& path) const;
  int total_requests() const;
  /// Answers that sent every byte before their stall_after() and now stall.
  int stalls() const;
  /// The paths requested, in order.
  std::vector<std::string> request_log() const;
  /// Number of distinct client connections seen.
  int connections() const;
  /// The User-Agent header of the last request.
  std::string last_user_agent() const;
  /// The Authorization header of the last request; empty when it had none.
  std::string last_authorization() const;
  /// The Authorization header of the last request for path.
  std::string authorization_of(const std::string& path) const;

 private:
  void start();

  struct State;
  TempDir files_;
  std::unique_ptr<State> state_;
};

}  // namespace zarn::testing
