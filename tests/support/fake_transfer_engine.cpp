#include "support/fake_transfer_engine.h"

#include <algorithm>
#include <stdexcept>

#include "net/sha1.h"

namespace zarn::testing {

void FakeRepository::put_archive(const std::string& url, const std::string& body) {
  const std::string archive = std::string("PK\x03\x04", 4) + body;
  net::Sha1 sha1;
  sha1.update(archive);
  put(url + ".sha1", sha1.hex_digest());
  put(url, archive);
}

std::function<std::unique_ptr<net::TransferEngine>(os::InterruptPoll, net::TransferOptions)>
FakeRepository::opener() {
  return [this](os::InterruptPoll poll, net::TransferOptions /*options*/) {
    return std::make_unique<FakeTransferEngine>(*this, std::move(poll));
  };
}

net::TransferEngine::Id FakeTransferEngine::start(const std::string& url,
                                                  std::chrono::seconds /*timeout*/,
                                                  net::BodySink sink, Done done) {
  repository_.requests.push_back(url);
  queue_.push_back({next_id_, url, std::move(sink), std::move(done)});
  return next_id_++;
}

void FakeTransferEngine::prioritize(Id id) {
  const auto found = std::find_if(queue_.begin(), queue_.end(),
                                  [id](const Transfer& transfer) { return transfer.id == id; });
  if (found == queue_.end()) return;
  Transfer transfer = std::move(*found);
  queue_.erase(found);
  queue_.push_front(std::move(transfer));
}

void FakeTransferEngine::cancel(Id id) {
  std::erase_if(queue_, [id](const Transfer& transfer) { return transfer.id == id; });
}

void FakeTransferEngine::run_until(const std::function<bool()>& finished) {
  while (!finished()) {
    if (const int signal = pending_interrupt_ ? pending_interrupt_() : 0; signal != 0) {
      throw net::TransferInterrupted(signal);
    }
    if (queue_.empty()) throw std::logic_error("waiting for no transfer");
    Transfer transfer = std::move(queue_.front());
    queue_.pop_front();
    end(std::move(transfer));
  }
}

void FakeTransferEngine::end(Transfer transfer) {
  const auto found = repository_.bodies_.find(transfer.url);
  if (found == repository_.bodies_.end()) {
    transfer.done(std::make_exception_ptr(net::HttpError("HTTP Error 404: Not Found", 404)));
    return;
  }
  try {
    transfer.sink(found->second);
    bytes_ += found->second.size();
  } catch (const std::exception&) {
    transfer.done(std::current_exception());
    return;
  }
  transfer.done(nullptr);
}

}  // namespace zarn::testing
