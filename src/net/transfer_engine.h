#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "net/netrc.h"
#include "os/interrupt.h"

namespace zarn::net {

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
class TransferInterrupted : public os::Interrupted {
 public:
  explicit TransferInterrupted(int signal) : os::Interrupted(signal) {}
};

/// Receives the body of a response piece by piece.
using BodySink = std::function<void(std::string_view)>;

/// How a TransferEngine runs.
struct TransferOptions {
  /// The largest body a transfer takes by default: the largest driver
  /// archives are a few hundred MB.
  static constexpr std::uint64_t kMaxBodyBytes = std::uint64_t{1} << 30;

  /// Connections to a server, and transfers at once over connections that
  /// carry one transfer at a time (HTTP/1.1).
  std::size_t max_parallel = 1;
  /// Transfers at once once a response shows the connection multiplexes
  /// (HTTP/2): streams share max_parallel connections, in practice one.
  std::size_t max_streams = 64;
  /// Logins sent to the host a transfer starts at, never to a host it is
  /// redirected to.
  Netrc netrc;
  /// A body announced larger is refused before it is read; a longer one is cut off.
  std::uint64_t max_body_bytes = kMaxBodyBytes;
  /// Certificate authorities to trust instead of the built-in bundle, and a
  /// folder of more; none when empty.
  std::filesystem::path ca_file;
  std::filesystem::path ca_dir;
};

/// Many HTTP(S) GETs at once on the caller's thread: up to max_parallel run
/// together over kept-alive connections, up to max_streams once a response
/// shows the server multiplexes (HTTP/2); the rest wait in a queue in the
/// order they were started. Against a server that closes its connections
/// after each response, few new connections are set up at once, so its
/// accept queue never overflows (a dropped connection costs a whole second
/// of retransmission). Nothing moves unless run_until() runs. A transfer that starts at https
/// follows only https redirects; a body longer than its Content-Length fails.
///
/// Each transfer has its own time-out: it fails when no byte arrives for that
/// long, and when fewer than kMinimumRate bytes a second arrive over a whole
/// time-out (a server that trickles a byte at a time).
class TransferEngine {
 public:
  using Id = std::uint64_t;
  /// Called once when a transfer ends: null on success, else HttpError or
  /// the exception the sink threw.
  using Done = std::function<void(std::exception_ptr)>;

  /// The slowest a transfer may be for a whole time-out, in bytes a second.
  static constexpr std::size_t kMinimumRate = 1024;

  virtual ~TransferEngine() = default;

  /// Queues a GET whose successful body goes to sink piece by piece (error
  /// bodies never do); done runs inside run_until() when it ends.
  virtual Id start(const std::string& url, std::chrono::seconds timeout, BodySink sink,
                   Done done) = 0;
  /// Moves a queued transfer to the head of the queue; once the server
  /// multiplexes, starts it at once, past the window, so a transfer waited
  /// for never waits behind the long ones that fill it.
  virtual void prioritize(Id id) = 0;
  /// Drops a transfer, running or queued, without calling its done.
  virtual void cancel(Id id) = 0;
  /// Runs transfers until finished() holds. Throws TransferInterrupted when
  /// the interrupt poll (asked at most ten times a second) reports a signal;
  /// the transfers stay, for their owners to cancel.
  virtual void run_until(const std::function<bool()>& finished) = 0;

  /// Transfers running now (not those queued).
  virtual std::size_t in_flight() const = 0;
  /// Whether a response has shown the server multiplexes (HTTP/2).
  virtual bool multiplexed() const = 0;
  /// Body bytes received so far by all transfers.
  virtual std::uint64_t bytes_received() const = 0;
  /// Called from run_until() about ten times a second, for live progress.
  virtual void on_tick(std::function<void()> tick) = 0;
};

/// A new engine of the program's network (see network()); pending_interrupt
/// defaults to the process's interrupt flag. Throws when the network cannot
/// be loaded.
std::unique_ptr<TransferEngine> open_transfer_engine(os::InterruptPoll pending_interrupt = {},
                                                     TransferOptions options = TransferOptions());

}  // namespace zarn::net
