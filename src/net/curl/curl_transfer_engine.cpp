#include "net/curl/curl_transfer_engine.h"

#include <curl/curl.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

#include "net/curl/curl_job.h"

namespace zarn::net {
namespace {

using net::HttpError;
using net::TransferEngine;

constexpr int kPollMilliseconds = 100;  // also the interrupt poll's period
/// New connections awaiting their first answer at once, against a server
/// that closes every connection: under the smallest accept queues in use
/// (Python's http.server listens with a backlog of 5).
constexpr std::size_t kMaxConnectionSetups = 4;

void init_curl_once() {
  static const bool initialised = [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw HttpError("cannot initialise libcurl");
    }
    return true;
  }();
  (void)initialised;
}

/// The waiting transfers in order, with each one's place, so that moving one
/// to the head or dropping it costs no scan of the others.
class Queue {
 public:
  bool empty() const { return order_.empty(); }
  void push_back(TransferEngine::Id id) { place(id, ++back_); }
  void push_front(TransferEngine::Id id) {
    if (erase(id)) place(id, --front_);
  }
  TransferEngine::Id pop_front() {
    const TransferEngine::Id id = order_.begin()->second;
    erase(id);
    return id;
  }
  /// False when id was not queued.
  bool erase(TransferEngine::Id id) {
    const auto found = position_.find(id);
    if (found == position_.end()) return false;
    order_.erase(found->second);
    position_.erase(found);
    return true;
  }

 private:
  void place(TransferEngine::Id id, std::int64_t key) {
    order_.emplace(key, id);
    position_[id] = key;
  }

  std::map<std::int64_t, TransferEngine::Id> order_;
  std::unordered_map<TransferEngine::Id, std::int64_t> position_;
  std::int64_t front_ = 0;
  std::int64_t back_ = 0;
};

}  // namespace

struct CurlTransferEngine::State {
  CURLM* multi = nullptr;
  net::TransferOptions options;
  os::InterruptPoll pending_interrupt;
  Clock::time_point last_poll{};
  int signal = 0;
  std::function<void()> tick;
  Id next_id = 1;
  std::map<Id, CurlJob> jobs;  ///< a std::map: libcurl keeps pointers to the jobs
  Queue queue;
  std::set<Id> running;
  std::vector<CURL*> idle;  ///< handles kept for reuse: they keep their settings
  std::uint64_t total_bytes = 0;
  bool multiplexed = false;  ///< a response came over a multiplexed connection
  /// Responses that ended their connection, and those that kept it: a
  /// server that keeps them closes one now and then (after so many requests).
  std::size_t closed = 0;
  std::size_t kept = 0;

  ~State() {
    for (auto& [id, job] : jobs) release(job);
    for (CURL* curl : idle) curl_easy_cleanup(curl);
    if (multi != nullptr) curl_multi_cleanup(multi);
  }

  CURL* new_handle() {
    if (idle.empty()) return new_curl_handle(options);
    CURL* curl = idle.back();
    idle.pop_back();
    return curl;
  }

  /// Takes a running job's handle out of the multi handle, for reuse.
  void release(CurlJob& job) {
    if (job.curl == nullptr) return;
    curl_multi_remove_handle(multi, job.curl);
    idle.push_back(job.curl);
    job.curl = nullptr;
    running.erase(job.id);
  }

  void launch(CurlJob& job) {
    CURL* curl = new_handle();
    try {
      job.attach(curl, options, &total_bytes);
    } catch (...) {
      idle.push_back(curl);
      job.curl = nullptr;
      throw;
    }
    running.insert(job.id);
    if (curl_multi_add_handle(multi, curl) != CURLM_OK) {
      release(job);
      throw HttpError("cannot start a transfer of " + job.url);
    }
  }

  std::size_t window() const {
    return multiplexed ? std::max(options.max_parallel, options.max_streams) : options.max_parallel;
  }

  /// Whether the server mostly closes its connections after a response.
  bool closing() const { return closed > kept; }

  /// Whether the running transfers' responses show the server multiplexes.
  void learn_from_responses() {
    for (const Id id : running) multiplexed = multiplexed || jobs.at(id).multiplexed;
  }

  void launch_queued() {
    // Each transfer to a server that closes its connections sets up a new one.
    std::size_t setting_up = 0;
    if (closing()) {
      setting_up = static_cast<std::size_t>(std::count_if(
          running.begin(), running.end(), [this](Id id) { return !jobs.at(id).answered; }));
    }
    while (running.size() < window() && !queue.empty()) {
      if (closing() && setting_up >= kMaxConnectionSetups) return;
      launch(jobs.at(queue.pop_front()));
      ++setting_up;
    }
  }

  /// Ends a job with error, releasing its handle, and hands it to its owner.
  void finish(Id id, std::exception_ptr error) {
    auto node = jobs.extract(id);
    if (node.empty()) return;  // cancelled by the done of another
    if (node.mapped().answered) ++(node.mapped().closes ? closed : kept);
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
    if (signal != 0) throw net::TransferInterrupted(signal);
  }

  void step() {
    int still_running = 0;
    curl_multi_perform(multi, &still_running);
    learn_from_responses();
    std::map<Id, std::exception_ptr> ended;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      CurlJob* job = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &job);
      if (job != nullptr) ended.emplace(job->id, job->outcome(message->data.result));
    }
    const auto now = Clock::now();
    for (const Id id : running) {
      if (ended.contains(id)) continue;
      if (auto reason = jobs.at(id).slowness(now)) {
        ended.emplace(id, std::make_exception_ptr(HttpError(*reason)));
      }
    }
    for (auto& [id, error] : ended) finish(id, std::move(error));
    launch_queued();
    if (!ended.empty()) return;  // owners may be waiting on what just ended
    curl_multi_poll(multi, nullptr, 0, kPollMilliseconds, nullptr);
  }
};

CurlTransferEngine::CurlTransferEngine(os::InterruptPoll pending_interrupt,
                                       net::TransferOptions options)
    : state_(std::make_unique<State>()) {
  init_curl_once();
  state_->multi = curl_multi_init();
  if (state_->multi == nullptr) throw HttpError("cannot create a libcurl multi handle");
  state_->options = std::move(options);
  state_->options.max_parallel = std::max<std::size_t>(1, state_->options.max_parallel);
  state_->pending_interrupt =
      pending_interrupt ? std::move(pending_interrupt) : os::InterruptPoll([] { return 0; });
  const auto limit = static_cast<long>(state_->options.max_parallel);
  curl_multi_setopt(state_->multi, CURLMOPT_MAX_HOST_CONNECTIONS, limit);
  curl_multi_setopt(state_->multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
  state_->options.max_streams = std::max<std::size_t>(1, state_->options.max_streams);
  curl_multi_setopt(state_->multi, CURLMOPT_MAX_CONCURRENT_STREAMS,
                    static_cast<long>(state_->options.max_streams));
}

CurlTransferEngine::~CurlTransferEngine() = default;

TransferEngine::Id CurlTransferEngine::start(const std::string& url, std::chrono::seconds timeout,
                                             net::BodySink sink, Done done) {
  const Id id = state_->next_id++;
  CurlJob& job = state_->jobs[id];
  job.id = id;
  job.url = url;
  job.timeout = timeout;
  job.sink = std::move(sink);
  job.done = std::move(done);
  state_->queue.push_back(id);
  return id;
}

void CurlTransferEngine::prioritize(Id id) {
  State& state = *state_;
  state.queue.push_front(id);
  // A stream costs little more than its frames.
  if (state.multiplexed && state.queue.erase(id)) state.launch(state.jobs.at(id));
}

void CurlTransferEngine::cancel(Id id) {
  const auto found = state_->jobs.find(id);
  if (found == state_->jobs.end()) return;
  state_->release(found->second);
  state_->jobs.erase(found);
  state_->queue.erase(id);
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

std::size_t CurlTransferEngine::in_flight() const {
  return state_->running.size();
}

bool CurlTransferEngine::multiplexed() const {
  return state_->multiplexed;
}

std::uint64_t CurlTransferEngine::bytes_received() const {
  return state_->total_bytes;
}

void CurlTransferEngine::on_tick(std::function<void()> tick) {
  state_->tick = std::move(tick);
}

}  // namespace zarn::net
