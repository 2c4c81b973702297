#include "host/http_client.h"

#include <curl/curl.h>

#include <array>
#include <chrono>
#include <exception>
#include <utility>

#include "host/interrupt.h"

namespace zarn::host {
namespace {

constexpr long kMaxRedirects = 10;
constexpr long kBufferSize = 256 * 1024;  // fewer write calls for large archives

constexpr std::pair<long, std::string_view> kReasonPhrases[] = {
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {429, "Too Many Requests"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

void init_curl_once() {
  static const bool initialised = [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw HttpError("cannot initialise libcurl");
    }
    return true;
  }();
  (void)initialised;
}

/// What one request collects while it runs.
struct Transfer {
  CURL* curl = nullptr;
  const BodySink* sink = nullptr;
  long status = 0;
  std::string reason;  ///< the server's phrase of the last status line
  std::exception_ptr sink_error;
  std::chrono::seconds timeout{};
  curl_off_t bytes_seen = 0;
  std::chrono::steady_clock::time_point last_progress = std::chrono::steady_clock::now();
  bool stalled = false;
  const InterruptPoll* pending_interrupt = nullptr;
  std::chrono::steady_clock::time_point last_poll{};
  int interrupt_signal = 0;

  /// Asks the host at most ten times a second: a Python host takes its lock to answer.
  bool interrupted(std::chrono::steady_clock::time_point now) {
    if (interrupt_signal != 0) return true;
    if (now - last_poll < std::chrono::milliseconds(100)) return false;
    last_poll = now;
    interrupt_signal = (*pending_interrupt)();
    return interrupt_signal != 0;
  }
};

long response_status(CURL* curl) {
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  return status;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    // "HTTP/1.1 404 Not Found\r\n": the phrase follows the second space.
    transfer.status = 0;
    transfer.reason.clear();
    const auto code_start = line.find(' ');
    const auto phrase_start =
        code_start == std::string_view::npos ? code_start : line.find(' ', code_start + 1);
    if (phrase_start != std::string_view::npos) {
      std::string_view phrase = line.substr(phrase_start + 1);
      while (!phrase.empty() && (phrase.back() == '\r' || phrase.back() == '\n')) {
        phrase.remove_suffix(1);
      }
      transfer.reason = phrase;
    }
  }
  return size * count;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t bytes = size * count;
  if (transfer.status == 0) transfer.status = response_status(transfer.curl);
  if (transfer.status >= 300) return bytes;  // error and redirect bodies are not the content
  try {
    (*transfer.sink)(std::string_view(data, bytes));
  } catch (...) {
    transfer.sink_error = std::current_exception();
    return CURL_WRITEFUNC_ERROR;
  }
  return bytes;
}

// Called about once a second even when nothing arrives, so it also bounds a
// stall as a socket time-out would: no byte for the whole time-out.
int on_progress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
  auto& transfer = *static_cast<Transfer*>(user);
  const auto now = std::chrono::steady_clock::now();
  if (transfer.interrupted(now)) return 1;
  if (received != transfer.bytes_seen) {
    transfer.bytes_seen = received;
    transfer.last_progress = now;
  } else if (now - transfer.last_progress >= transfer.timeout) {
    transfer.stalled = true;
    return 1;
  }
  return 0;
}

std::string status_message(long status, const std::string& server_reason) {
  std::string_view reason = http_reason_phrase(status);
  if (reason.empty()) reason = server_reason;
  std::string message = "HTTP Error " + std::to_string(status);
  if (!reason.empty()) message += ": " + std::string(reason);
  return message;
}

template <typename Value>
void set_option(CURL* curl, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) {
    throw HttpError(std::string("cannot configure libcurl: ") + curl_easy_strerror(code));
  }
}

}  // namespace

struct HttpClient::Handle {
  Handle() : curl(curl_easy_init()) {
    if (curl == nullptr) throw HttpError("cannot create a libcurl handle");
  }
  ~Handle() { curl_easy_cleanup(curl); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  CURL* curl;
  std::array<char, CURL_ERROR_SIZE> error{};
  InterruptPoll pending_interrupt;
};

HttpClient::HttpClient(InterruptPoll pending_interrupt) {
  init_curl_once();
  handle_ = std::make_unique<Handle>();
  handle_->pending_interrupt =
      pending_interrupt ? std::move(pending_interrupt) : InterruptPoll(interrupt_signal);
  CURL* curl = handle_->curl;
  set_option(curl, CURLOPT_USERAGENT, std::string(kUserAgent).c_str());
  set_option(curl, CURLOPT_FOLLOWLOCATION, 1L);
  set_option(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
  set_option(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  set_option(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  set_option(curl, CURLOPT_NOSIGNAL, 1L);
  set_option(curl, CURLOPT_NOPROGRESS, 0L);
  set_option(curl, CURLOPT_XFERINFOFUNCTION, on_progress);
  set_option(curl, CURLOPT_BUFFERSIZE, kBufferSize);
  set_option(curl, CURLOPT_ERRORBUFFER, handle_->error.data());
  set_option(curl, CURLOPT_HEADERFUNCTION, on_header);
  set_option(curl, CURLOPT_WRITEFUNCTION, on_body);
}

HttpClient::~HttpClient() = default;

std::string HttpClient::get(const std::string& url, std::chrono::seconds timeout,
                            std::size_t max_bytes) {
  std::string body;
  get(url, timeout, [&body, max_bytes](std::string_view piece) {
    if (body.size() + piece.size() > max_bytes) {
      throw HttpError("response larger than " + std::to_string(max_bytes) + " bytes");
    }
    body.append(piece);
  });
  return body;
}

void HttpClient::get(const std::string& url, std::chrono::seconds timeout, const BodySink& sink) {
  if (const int signal = handle_->pending_interrupt(); signal != 0) {
    throw TransferInterrupted(signal);
  }
  CURL* curl = handle_->curl;
  Transfer transfer;
  transfer.pending_interrupt = &handle_->pending_interrupt;
  transfer.curl = curl;
  transfer.sink = &sink;
  transfer.timeout = timeout;
  set_option(curl, CURLOPT_URL, url.c_str());
  set_option(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout.count()));
  set_option(curl, CURLOPT_XFERINFODATA, &transfer);
  set_option(curl, CURLOPT_HEADERDATA, &transfer);
  set_option(curl, CURLOPT_WRITEDATA, &transfer);
  handle_->error[0] = '\0';

  const CURLcode code = curl_easy_perform(curl);
  if (code == CURLE_ABORTED_BY_CALLBACK && transfer.interrupt_signal != 0) {
    throw TransferInterrupted(transfer.interrupt_signal);
  }
  if (code == CURLE_ABORTED_BY_CALLBACK && transfer.stalled) {
    throw HttpError("timed out: no data for " + std::to_string(timeout.count()) + " seconds");
  }
  if (transfer.sink_error) std::rethrow_exception(transfer.sink_error);
  if (code != CURLE_OK) {
    throw HttpError(handle_->error[0] != '\0' ? handle_->error.data() : curl_easy_strerror(code));
  }
  const long status = response_status(curl);
  if (status >= 300) throw HttpError(status_message(status, transfer.reason), status);
}

std::string_view http_reason_phrase(long status) {
  for (const auto& [code, phrase] : kReasonPhrases) {
    if (code == status) return phrase;
  }
  return {};
}

}  // namespace zarn::host
