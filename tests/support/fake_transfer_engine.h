#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "net/transfer_engine.h"

namespace zarn::testing {

/// A repository without a server: the bodies a test gives, by address, and
/// every request a task's transfer engine made, in order. Any other address
/// answers HTTP 404.
class FakeRepository {
 public:
  /// The body at url.
  void put(const std::string& url, std::string body) { bodies_[url] = std::move(body); }
  /// An archive at url (a zip's signature, then body) with its checksum file beside it.
  void put_archive(const std::string& url, const std::string& body);

  /// Opens engines over this repository, for TransferSettings::open_engine;
  /// they ask pending_interrupt before each transfer ends.
  std::function<std::unique_ptr<net::TransferEngine>(os::InterruptPoll, net::TransferOptions)>
  opener();

  /// The addresses asked for, in the order the transfers were started.
  std::vector<std::string> requests;

 private:
  friend class FakeTransferEngine;
  std::map<std::string, std::string> bodies_;
};

/// A TransferEngine that ends its transfers one at a time, in the order
/// they were started (a prioritized one first), from a FakeRepository.
class FakeTransferEngine : public net::TransferEngine {
 public:
  FakeTransferEngine(FakeRepository& repository, os::InterruptPoll pending_interrupt)
      : repository_(repository), pending_interrupt_(std::move(pending_interrupt)) {}

  Id start(const std::string& url, std::chrono::seconds timeout, net::BodySink sink,
           Done done) override;
  void prioritize(Id id) override;
  void cancel(Id id) override;
  /// Ends transfers until finished() holds; throws TransferInterrupted when
  /// the poll reports a signal, and std::logic_error when nothing is left to end.
  void run_until(const std::function<bool()>& finished) override;

  std::size_t in_flight() const override { return 0; }
  bool multiplexed() const override { return false; }
  std::uint64_t bytes_received() const override { return bytes_; }
  void on_tick(std::function<void()> /*tick*/) override {}

 private:
  struct Transfer {
    Id id;
    std::string url;
    net::BodySink sink;
    Done done;
  };
  void end(Transfer transfer);

  FakeRepository& repository_;
  os::InterruptPoll pending_interrupt_;
  std::deque<Transfer> queue_;
  Id next_id_ = 1;
  std::uint64_t bytes_ = 0;
};

}  // namespace zarn::testing
