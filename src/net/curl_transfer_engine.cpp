#include "net/curl_transfer_engine.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <deque>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "net/http_reason.h"

namespace zarn::net {
namespace {

using host::HttpClient;
using host::HttpError;
using host::TransferEngine;

using Clock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 10;
constexpr long kBufferSize = 256 * 1024;  // fewer write calls for large archives
constexpr int kPollMilliseconds = 100;    // also the interrupt poll's period

void init_curl_once() {
  static const bool initialised = [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw HttpError("cannot initialise libcurl");
    }
    return true;
  }();
  (void)initialised;
}

template <typename Value>
void set_option(CURL* curl, CURLoption option, Value value) {
  const CURLcode code = curl_easy_setopt(curl, option, value);
  if (code != CURLE_OK) {
    throw HttpError(std::string("cannot configure libcurl: ") + curl_easy_strerror(code));
  }
}

std::string status_message(long status, const std::string& server_reason) {
  std::string_view reason = http_reason_phrase(status);
  if (reason.empty()) reason = server_reason;
  std::string message = "HTTP Error " + std::to_string(status);
  if (!reason.empty()) message += ": " + std::string(reason);
  return message;
}

/// One request, queued or running.
struct Job {
  std::string url;
  std::chrono::seconds timeout{};
  host::BodySink sink;
  TransferEngine::Done done;
  CURL* curl = nullptr;  ///< set while running
  long status = 0;
  std::string reason;  ///< the server's phrase of the last status line
  std::exception_ptr sink_error;
  std::uint64_t* total_bytes = nullptr;
  std::uint64_t bytes = 0;
  Clock::time_point last_byte;
  Clock::time_point window_start;  ///< the rate floor is checked over each time-out
  std::uint64_t window_bytes = 0;
  std::array<char, CURL_ERROR_SIZE> error{};
};

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
  auto& job = *static_cast<Job*>(user);
  const std::string_view line(data, size * count);
  if (!line.starts_with("HTTP/")) return size * count;
  // "HTTP/1.1 404 Not Found\r\n": the phrase follows the second space.
  job.status = 0;
  job.reason.clear();
  const auto code_start = line.find(' ');
  const auto phrase_start =
      code_start == std::string_view::npos ? code_start : line.find(' ', code_start + 1);
  if (phrase_start != std::string_view::npos) {
    std::string_view phrase = line.substr(phrase_start + 1);
    while (!phrase.empty() && (phrase.back() == '\r' || phrase.back() == '\n')) {
      phrase.remove_suffix(1);
    }
    job.reason = phrase;
  }
  return size * count;
}

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
  auto& job = *static_cast<Job*>(user);
  const std::size_t bytes = size * count;
  job.bytes += bytes;
  *job.total_bytes += bytes;
  job.last_byte = Clock::now();
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

/// Why a running transfer is too slow to go on, or nothing.
std::optional<std::string> slowness(Job& job, Clock::time_point now) {
  const auto seconds = std::to_string(job.timeout.count());
  if (now - job.last_byte >= job.timeout) return "timed out: no data for " + seconds + " seconds";
  if (now - job.window_start < job.timeout) return std::nullopt;
  const auto floor = TransferEngine::kMinimumRate * static_cast<std::uint64_t>(job.timeout.count());
  if (job.bytes - job.window_bytes < floor) {
    return "timed out: under 1 KiB/s for " + seconds + " seconds";
  }
  job.window_start = now;
  job.window_bytes = job.bytes;
  return std::nullopt;
}

}  // namespace

struct CurlTransferEngine::State {
  CURLM* multi = nullptr;
  host::TransferOptions options;
  host::InterruptPoll pending_interrupt;
  Clock::time_point last_poll{};
  int signal = 0;
  std::function<void()> tick;
  Id next_id = 1;
  std::map<Id, Job> jobs;
  std::deque<Id> queue;
  std::vector<CURL*> idle;  ///< handles kept for reuse: they keep their settings
  std::uint64_t total_bytes = 0;

  ~State() {
    for (auto& [id, job] : jobs) release(job);
    for (CURL* curl : idle) curl_easy_cleanup(curl);
    if (multi != nullptr) curl_multi_cleanup(multi);
  }

  CURL* new_handle() {
    if (!idle.empty()) {
      CURL* curl = idle.back();
      idle.pop_back();
      return curl;
    }
    CURL* curl = curl_easy_init();
    if (curl == nullptr) throw HttpError("cannot create a libcurl handle");
    set_option(curl, CURLOPT_USERAGENT, std::string(HttpClient::kUserAgent).c_str());
    set_option(curl, CURLOPT_FOLLOWLOCATION, 1L);
    set_option(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
    set_option(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    set_option(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set_option(curl, CURLOPT_NOSIGNAL, 1L);
    set_option(curl, CURLOPT_BUFFERSIZE, kBufferSize);
    set_option(curl, CURLOPT_HEADERFUNCTION, on_header);
    set_option(curl, CURLOPT_WRITEFUNCTION, on_body);
    if (!options.netrc.empty()) {
      set_option(curl, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
      set_option(curl, CURLOPT_NETRC_FILE, options.netrc.c_str());
    }
    return curl;
  }

  /// Takes a running job's handle out of the multi handle, for reuse.
  void release(Job& job) {
    if (job.curl == nullptr) return;
    curl_multi_remove_handle(multi, job.curl);
    idle.push_back(job.curl);
    job.curl = nullptr;
  }

  std::size_t running() const {
    return static_cast<std::size_t>(std::count_if(
        jobs.begin(), jobs.end(), [](const auto& entry) { return entry.second.curl != nullptr; }));
  }

  void launch(Job& job) {
    CURL* curl = new_handle();
    job.curl = curl;
    job.total_bytes = &total_bytes;
    job.last_byte = job.window_start = Clock::now();
    set_option(curl, CURLOPT_URL, job.url.c_str());
    // Over TLS the handshake soon tells whether a connection multiplexes, so
    // waiting for it beats opening another; plain HTTP never says.
    set_option(curl, CURLOPT_PIPEWAIT, job.url.starts_with("https:") ? 1L : 0L);
    set_option(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(job.timeout.count()));
    set_option(curl, CURLOPT_HEADERDATA, &job);
    set_option(curl, CURLOPT_WRITEDATA, &job);
    set_option(curl, CURLOPT_PRIVATE, &job);
    set_option(curl, CURLOPT_ERRORBUFFER, job.error.data());
    job.error[0] = '\0';
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
      release(job);
      throw HttpError("cannot start a transfer of " + job.url);
    }
  }

  void launch_queued() {
    std::size_t busy = running();
    while (busy < options.max_parallel && !queue.empty()) {
      const Id id = queue.front();
      queue.pop_front();
      launch(jobs.at(id));
      ++busy;
    }
  }

  /// The failure of a job libcurl reports as ended, or null.
  static std::exception_ptr outcome(Job& job, CURLcode code) {
    if (job.sink_error) return job.sink_error;
    if (code != CURLE_OK) {
      return std::make_exception_ptr(
          HttpError(job.error[0] != '\0' ? job.error.data() : curl_easy_strerror(code)));
    }
    long status = 0;
    curl_easy_getinfo(job.curl, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 300) {
      return std::make_exception_ptr(HttpError(status_message(status, job.reason), status));
    }
    return nullptr;
  }

  /// Ends job with error, releasing its handle, and hands it to its owner.
  void finish(Id id, std::exception_ptr error) {
    auto node = jobs.extract(id);
    if (node.empty()) return;  // cancelled by the done of another
    release(node.mapped());
    if (node.mapped().done) node.mapped().done(std::move(error));
  }

  void check_interrupt() {
    const auto now = Clock::now();
    if (signal == 0 && now - last_poll >= std::chrono::milliseconds(kPollMilliseconds)) {
      last_poll = now;
      signal = pending_interrupt();
      if (signal == 0 && tick) tick();
    }
    if (signal != 0) throw host::TransferInterrupted(signal);
  }

  void step() {
    int still_running = 0;
    curl_multi_perform(multi, &still_running);
    std::vector<std::pair<Id, std::exception_ptr>> ended;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      Job* job = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &job);
      const auto found = std::find_if(jobs.begin(), jobs.end(),
                                      [job](const auto& entry) { return &entry.second == job; });
      if (found != jobs.end())
        ended.emplace_back(found->first, outcome(*job, message->data.result));
    }
    const auto now = Clock::now();
    for (auto& [id, job] : jobs) {
      if (job.curl == nullptr) continue;
      if (std::find_if(ended.begin(), ended.end(),
                       [id = id](const auto& e) { return e.first == id; }) != ended.end()) {
        continue;
      }
      if (auto reason = slowness(job, now)) {
        ended.emplace_back(id, std::make_exception_ptr(HttpError(*reason)));
      }
    }
    for (auto& [id, error] : ended) finish(id, std::move(error));
    launch_queued();
    if (!ended.empty()) return;  // owners may be waiting on what just ended
    curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
  }
};

CurlTransferEngine::CurlTransferEngine(host::InterruptPoll pending_interrupt,
                                       host::TransferOptions options)
    : state_(std::make_unique<State>()) {
  init_curl_once();
  state_->multi = curl_multi_init();
  if (state_->multi == nullptr) throw HttpError("cannot create a libcurl multi handle");
  state_->options = std::move(options);
  state_->options.max_parallel = std::max<std::size_t>(1, state_->options.max_parallel);
  state_->pending_interrupt =
      pending_interrupt ? std::move(pending_interrupt) : host::InterruptPoll([] { return 0; });
  const auto limit = static_cast<long>(state_->options.max_parallel);
  curl_multi_setopt(state_->multi, CURLMOPT_MAX_HOST_CONNECTIONS, limit);
  curl_multi_setopt(state_->multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
}

CurlTransferEngine::~CurlTransferEngine() = default;

TransferEngine::Id CurlTransferEngine::start(const std::string& url, std::chrono::seconds timeout,
                                             host::BodySink sink, Done done) {
  const Id id = state_->next_id++;
  Job& job = state_->jobs[id];
  job.url = url;
  job.timeout = timeout;
  job.sink = std::move(sink);
  job.done = std::move(done);
  state_->queue.push_back(id);
  return id;
}

void CurlTransferEngine::prioritize(Id id) {
  auto& queue = state_->queue;
  const auto found = std::find(queue.begin(), queue.end(), id);
  if (found == queue.end() || found == queue.begin()) return;
  queue.erase(found);
  queue.push_front(id);
}

void CurlTransferEngine::cancel(Id id) {
  const auto found = state_->jobs.find(id);
  if (found == state_->jobs.end()) return;
  state_->release(found->second);
  state_->jobs.erase(found);
  auto& queue = state_->queue;
  queue.erase(std::remove(queue.begin(), queue.end(), id), queue.end());
}

void CurlTransferEngine::run_until(const std::function<bool()>& finished) {
  // A signal belongs to the call that saw it: each wait asks afresh, so an
  // engine kept by a task is usable again once that call has ended.
  state_->signal = 0;
  state_->last_poll = {};
  state_->check_interrupt();
  state_->launch_queued();
  while (!finished()) {
    if (state_->jobs.empty()) throw std::logic_error("waiting for no transfer");
    state_->check_interrupt();
    state_->step();
  }
}

std::uint64_t CurlTransferEngine::bytes_received() const {
  return state_->total_bytes;
}

void CurlTransferEngine::on_tick(std::function<void()> tick) {
  state_->tick = std::move(tick);
}

}  // namespace zarn::net
