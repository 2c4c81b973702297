#include "net/curl/curl_job.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <string_view>

#include "net/curl/http_reason.h"
#include "zarn/version.h"

namespace zarn::net {
namespace {

using net::HttpError;

constexpr long kMaxRedirects = 10;
// Fewer write calls for large archives, yet small enough for dozens of
// transfers at once over one HTTP/2 connection.
constexpr long kBufferSize = 64 * 1024;

std::string status_message(long status, const std::string& server_reason) {
  std::string_view reason = http_reason_phrase(status);
  if (reason.empty()) reason = server_reason;
  std::string message = "HTTP Error " + std::to_string(status);
  if (!reason.empty()) message += ": " + std::string(reason);
  return message;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

/// "HTTP/1.1 404 Not Found\r\n": the code follows the first space, the phrase the second.
void read_status_line(CurlJob& job, std::string_view line) {
  job.status = 0;
  job.reason.clear();
  job.announced.reset();
  job.response_bytes = 0;
  job.answered = true;
  job.multiplexed = line.starts_with("HTTP/2") || line.starts_with("HTTP/3");
  // HTTP/1.0 closes unless it says otherwise; "Connection:" below may say so.
  job.closes = line.starts_with("HTTP/1.0");
  const auto code_start = line.find(' ');
  if (code_start == std::string_view::npos) return;
  const std::string_view rest = line.substr(code_start + 1);
  std::from_chars(rest.data(), rest.data() + rest.size(), job.status);
  const auto phrase_start = rest.find(' ');
  if (phrase_start != std::string_view::npos) job.reason = trimmed(rest.substr(phrase_start + 1));
}

/// False when the header ends the transfer.
bool read_header(CurlJob& job, std::string_view line) {
  if (starts_with_nocase(line, "connection:")) {
    const std::string_view value = trimmed(line.substr(11));
    if (starts_with_nocase(value, "close")) job.closes = true;
    if (starts_with_nocase(value, "keep-alive")) job.closes = false;
  }
  const bool success = job.status >= 200 && job.status < 300;
  const bool redirect = job.status >= 300 && job.status < 400;
  if (success && starts_with_nocase(line, "content-length:")) {
    const std::string_view value = trimmed(line.substr(15));
    std::uint64_t length = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (error != std::errc() || end != value.data() + value.size()) return true;
    job.announced = length;
    if (length > job.max_body_bytes) {
      job.sink_error = std::make_exception_ptr(HttpError("refused: " + std::to_string(length) +
                                                         " bytes announced, over the limit of " +
                                                         std::to_string(job.max_body_bytes)));
      return false;
    }
  } else if (redirect && starts_with_nocase(line, "location:") &&
             starts_with_nocase(job.url, "https:") &&
             starts_with_nocase(trimmed(line.substr(9)), "http:")) {
    job.downgrade = true;
    return false;
  }
  return true;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto& job = *static_cast<CurlJob*>(user);
  const std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    read_status_line(job, line);
    return size * count;
  }
  return read_header(job, line) ? size * count : 0;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto& job = *static_cast<CurlJob*>(user);
  const std::size_t bytes = size * count;
  job.bytes += bytes;
  job.response_bytes += bytes;
  *job.total_bytes += bytes;
  job.last_byte = Clock::now();
  if (job.response_bytes > job.max_body_bytes) {
    job.sink_error = std::make_exception_ptr(
        HttpError("cut off: longer than the limit of " + std::to_string(job.max_body_bytes)));
    return CURL_WRITEFUNC_ERROR;
  }
  if (job.status == 0) curl_easy_getinfo(job.curl, CURLINFO_RESPONSE_CODE, &job.status);
  if (job.status >= 300) return bytes;  // error and redirect bodies are not the content
  try {
    job.sink(std::string_view(data, bytes));
  } catch (...) {
    job.sink_error = std::current_exception();
    return CURL_WRITEFUNC_ERROR;
  }
  return bytes;
}

/// libcurl drops what a server sends beyond its Content-Length and says so
/// only here, when the excess came in the read that ended the body. (An
/// excess that comes later stays on the connection, which libcurl then
/// closes instead of reusing: it never reaches a sink.)
int on_debug(CURL* /*curl*/, curl_infotype type, char* data, std::size_t size, void* user) {
  if (type == CURLINFO_TEXT && std::string_view(data, size).starts_with("Excess found")) {
    static_cast<CurlJob*>(user)->excess = true;
  }
  return 0;
}

/// The netrc login for url's host, unless url carries a login of its own.
const net::NetrcLogin* login_for(const net::Netrc& netrc, const std::string& url) {
  if (netrc.empty()) return nullptr;
  const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), curl_url_cleanup);
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
    return nullptr;
  }
  char* user = nullptr;
  if (curl_url_get(parsed.get(), CURLUPART_USER, &user, 0) == CURLUE_OK) {
    curl_free(user);
    return nullptr;
  }
  char* host = nullptr;
  if (curl_url_get(parsed.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) return nullptr;
  const std::string name(host);
  curl_free(host);
  return netrc.login_for(name);
}

}  // namespace

CURL* new_curl_handle(const net::TransferOptions& options) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) throw HttpError("cannot create a libcurl handle");
  try {
    set_option(curl, CURLOPT_USERAGENT, std::string(kUserAgent).c_str());
    set_option(curl, CURLOPT_FOLLOWLOCATION, 1L);
    set_option(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    set_option(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    set_option(curl, CURLOPT_NOSIGNAL, 1L);
    set_option(curl, CURLOPT_BUFFERSIZE, kBufferSize);
    set_option(curl, CURLOPT_HEADERFUNCTION, on_header);
    set_option(curl, CURLOPT_WRITEFUNCTION, on_body);
    set_option(curl, CURLOPT_DEBUGFUNCTION, on_debug);
    set_option(curl, CURLOPT_VERBOSE, 1L);  // for on_debug
    if (!options.ca_file.empty()) set_option(curl, CURLOPT_CAINFO, options.ca_file.c_str());
    if (!options.ca_dir.empty()) set_option(curl, CURLOPT_CAPATH, options.ca_dir.c_str());
  } catch (...) {
    curl_easy_cleanup(curl);
    throw;
  }
  return curl;
}

void CurlJob::attach(CURL* handle, const net::TransferOptions& options, std::uint64_t* total) {
  curl = handle;
  total_bytes = total;
  max_body_bytes = options.max_body_bytes;
  last_byte = window_start = Clock::now();
  const bool secure = starts_with_nocase(url, "https:");
  set_option(curl, CURLOPT_URL, url.c_str());
  // From https, plain http would expose the body and any login to the path.
  set_option(curl, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  // Over TLS the handshake soon tells whether a connection multiplexes, so
  // waiting for it beats opening another; plain HTTP never says.
  set_option(curl, CURLOPT_PIPEWAIT, secure ? 1L : 0L);
  set_option(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout.count()));
  // libcurl sends these to the host the transfer starts at, never to another
  // host a redirect leads to.
  const net::NetrcLogin* login = login_for(options.netrc, url);
  set_option(curl, CURLOPT_USERNAME, login != nullptr ? login->login.c_str() : nullptr);
  set_option(curl, CURLOPT_PASSWORD, login != nullptr ? login->password.c_str() : nullptr);
  set_option(curl, CURLOPT_HEADERDATA, this);
  set_option(curl, CURLOPT_WRITEDATA, this);
  set_option(curl, CURLOPT_DEBUGDATA, this);
  set_option(curl, CURLOPT_PRIVATE, this);
  set_option(curl, CURLOPT_ERRORBUFFER, error.data());
  error[0] = '\0';
}

std::optional<std::string> CurlJob::slowness(Clock::time_point now) {
  const auto seconds = std::to_string(timeout.count());
  if (now - last_byte >= timeout) return "timed out: no data for " + seconds + " seconds";
  if (now - window_start < timeout) return std::nullopt;
  const auto floor =
      net::TransferEngine::kMinimumRate * static_cast<std::uint64_t>(timeout.count());
  if (bytes - window_bytes < floor) {
    return "timed out: under 1 KiB/s for " + seconds + " seconds";
  }
  window_start = now;
  window_bytes = bytes;
  return std::nullopt;
}

std::exception_ptr CurlJob::outcome(CURLcode code) const {
  if (sink_error) return sink_error;
  if (downgrade || (code == CURLE_UNSUPPORTED_PROTOCOL && starts_with_nocase(url, "https:"))) {
    return std::make_exception_ptr(HttpError("refused a redirect from https to plain http"));
  }
  if (excess || (announced && response_bytes > *announced)) {
    return std::make_exception_ptr(HttpError("the body is longer than the " +
                                             std::to_string(announced.value_or(0)) +
                                             " bytes announced"));
  }
  if (code != CURLE_OK) {
    return std::make_exception_ptr(
        HttpError(error[0] != '\0' ? error.data() : curl_easy_strerror(code)));
  }
  long final_status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &final_status);
  if (final_status >= 300) {
    return std::make_exception_ptr(HttpError(status_message(final_status, reason), final_status));
  }
  return nullptr;
}

}  // namespace zarn::net
