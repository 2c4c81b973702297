#pragma once

#include <curl/curl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>

#include "net/transfer_engine.h"

namespace zarn::net {

using Clock = std::chrono::steady_clock;

/// One request of a CurlTransferEngine, queued or running, with the libcurl
/// callbacks that feed it.
struct CurlJob {
  net::TransferEngine::Id id = 0;
  std::string url;
  std::chrono::seconds timeout{};
  net::BodySink sink;
  net::TransferEngine::Done done;
  CURL* curl = nullptr;  ///< set while running
  std::uint64_t max_body_bytes = 0;
  long status = 0;                         ///< of the last status line
  std::string reason;                      ///< the server's phrase of the last status line
  std::optional<std::uint64_t> announced;  ///< the last response's Content-Length
  std::uint64_t response_bytes = 0;        ///< body bytes of the last response
  bool excess = false;                     ///< the server sent more than it announced
  bool downgrade = false;                  ///< an https transfer was sent to plain http
  bool answered = false;                   ///< a status line has come
  bool multiplexed = false;                ///< it came over HTTP/2 or later
  bool closes = false;                     ///< the server closes the connection after this response
  std::exception_ptr sink_error;
  std::uint64_t* total_bytes = nullptr;
  std::uint64_t bytes = 0;
  Clock::time_point last_byte;
  Clock::time_point window_start;  ///< the rate floor is checked over each time-out
  std::uint64_t window_bytes = 0;
  std::array<char, CURL_ERROR_SIZE> error{};

  /// Points curl's callbacks, address and request settings at this job.
  void attach(CURL* handle, const net::TransferOptions& options, std::uint64_t* total);
  /// Why a running transfer is too slow to go on, or nothing.
  std::optional<std::string> slowness(Clock::time_point now);
  /// The failure of a transfer libcurl reports as ended with code, or null.
  std::exception_ptr outcome(CURLcode code) const;
};

/// A handle with the settings every transfer of an engine shares.
CURL* new_curl_handle(const net::TransferOptions& options);

/// Sets a libcurl option; throws HttpError when libcurl refuses it.
template <typename Value>
void set_option(CURL* curl, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) {
    throw net::HttpError(std::string("cannot configure libcurl: ") + curl_easy_strerror(code));
  }
}

}  // namespace zarn::net
