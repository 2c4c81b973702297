#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "net/transfer_engine.h"

namespace zarn::testing {

/// One GET at a time through a transfer engine of the program's network, for
/// tests of the rules every transfer keeps: the time-out bounds the
/// connection set-up, any stall (no byte for that long) and a trickle (under
/// 1 KiB/s over a whole time-out), redirects are followed (at most 10, and
/// from https only to https), bodies bounded, proxy variables honoured.
class HttpClient {
 public:
  /// pending_interrupt defaults to the process's interrupt flag.
  explicit HttpClient(os::InterruptPoll pending_interrupt = {});
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
  void get(const std::string& url, std::chrono::seconds timeout, const net::BodySink& sink);

 private:
  std::unique_ptr<net::TransferEngine> engine_;
};

}  // namespace zarn::testing
