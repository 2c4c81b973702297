#pragma once

#include <memory>

#include "net/transfer_engine.h"

namespace zarn::net {

/// TransferEngine on libcurl's multi interface.
class CurlTransferEngine final : public net::TransferEngine {
 public:
  /// An empty pending_interrupt never interrupts.
  CurlTransferEngine(os::InterruptPoll pending_interrupt, net::TransferOptions options);
  ~CurlTransferEngine() override;
  CurlTransferEngine(const CurlTransferEngine&) = delete;
  CurlTransferEngine& operator=(const CurlTransferEngine&) = delete;

  Id start(const std::string& url, std::chrono::seconds timeout, net::BodySink sink,
           Done done) override;
  void prioritize(Id id) override;
  void cancel(Id id) override;
  void run_until(const std::function<bool()>& finished) override;
  std::size_t in_flight() const override;
  bool multiplexed() const override;
  std::uint64_t bytes_received() const override;
  void on_tick(std::function<void()> tick) override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zarn::net
