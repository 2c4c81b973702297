#pragma once

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <optional>
#include <string>

namespace zarn::testing {

/// What the test server does wrong for one request path.
struct Fault {
  int status = 0;
  std::optional<std::size_t> stall_after;
  bool cut = false;  ///< at stall_after, close instead of stalling
  std::size_t piece_size = 0;
  int pause_ms = 0;
  std::string redirect_to;
  bool chunked = false;
  /// Counts the answers that sent every byte before stall_after and stalled.
  std::atomic<int>* stalls = nullptr;
};

/// Answers with body, paced and cut as fault says; stops sending once stopping is set.
void serve_body(httplib::Response& response, std::string body, const Fault& fault,
                const std::atomic<bool>& stopping);

}  // namespace zarn::testing
