#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/tls_certificate.h"

namespace zarn::testing {

/// Debian's nghttpd (package nghttp2-server) serving a folder over TLS on
/// 127.0.0.1: an HTTP/2 server, as most Maven repositories are. What it
/// saw is read back from its verbose log, complete once it has stopped.
class NghttpdServer {
 public:
  /// Whether nghttpd is installed; tests that need it skip without it.
  static bool available();

  NghttpdServer(const std::filesystem::path& docroot, const TlsCertificate& certificate);
  ~NghttpdServer();
  NghttpdServer(const NghttpdServer&) = delete;
  NghttpdServer& operator=(const NghttpdServer&) = delete;

  /// "https://127.0.0.1:{port}"
  std::string url() const;
  /// Stops the server (also done when destroyed), which flushes its log.
  void stop();
  /// The paths requested, in the order the server read them.
  std::vector<std::string> request_paths() const;
  /// Connections that carried requests (not the probe that waits for the server).
  int connections() const;
  /// The most streams that were open at once on one connection.
  int most_streams_at_once() const;

 private:
  std::vector<std::string> log_lines() const;

  TempDir files_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace zarn::testing
