#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "host/host.h"
#include "zarn/version.h"

namespace zarn::host {

/// A failed request: connection, time-out, TLS, or an HTTP error status
/// ("HTTP Error 404: Not Found").
class HttpError : public std::runtime_error {
 public:
  explicit HttpError(const std::string& message, long status = 0)
      : std::runtime_error(message), status_(status) {}
  /// The HTTP status of an error response; 0 when no response came.
  long status() const { return status_; }

 private:
  long status_;
};

/// A transfer stopped because Ctrl-C or SIGTERM arrived. Callers that swallow
/// per-item failures let this one through so the run ends.
class TransferInterrupted : public Interrupted {
 public:
  explicit TransferInterrupted(int signal) : Interrupted(signal) {}
};

/// The signal that asks transfers to stop, or 0; polled a few times a second.
using InterruptPoll = std::function<int()>;

/// Receives the body of a response piece by piece.
using BodySink = std::function<void(std::string_view)>;

/// HTTP(S) GET over one kept-alive connection, sending the zarn user agent,
/// one request at a time (TransferEngine runs many at once). The time-out
/// bounds the connection set-up, any stall of the transfer (no byte for that
/// long) and a trickle (under 1 KiB/s over a whole time-out); a body that
/// keeps arriving faster is never cut off. Redirects are followed (at most
/// 10, and from https only to https), certificates verified, bodies bounded
/// as TransferEngine bounds them, and the usual proxy variables (http_proxy,
/// https_proxy, no_proxy) honoured.
class HttpClient {
 public:
  static constexpr std::string_view kUserAgent = zarn::kUserAgent;

  /// pending_interrupt defaults to the process's interrupt flag.
  explicit HttpClient(InterruptPoll pending_interrupt = {});
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  /// The whole body. Throws HttpError (also for a body over max_bytes) or
  /// TransferInterrupted.
  std::string get(const std::string& url, std::chrono::seconds timeout,
                  std::size_t max_bytes = 32 << 20);
  /// Streams the body of a successful response into sink; error bodies are
  /// never passed on. Throws HttpError or TransferInterrupted; an exception
  /// thrown by sink aborts the transfer and is rethrown.
  void get(const std::string& url, std::chrono::seconds timeout, const BodySink& sink);

 private:
  struct Handle;
  std::unique_ptr<Handle> handle_;
};

}  // namespace zarn::host
