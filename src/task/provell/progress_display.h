#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>

#include "host/host.h"
#include "net/transfer_engine.h"
#include "task/provell/archive_downloads.h"
#include "task/provell/output.h"

namespace zarn::provell {

/// The live progress line of the driver sync, while it lasts.
class ProgressDisplay {
 public:
  /// Drawn only when out is verbose.
  ProgressDisplay(const Output& out, net::TransferEngine& engine)
      : host_(out.host()), engine_(engine), start_bytes_(engine.bytes_received()) {
    if (out.verbose()) engine_.on_tick([this] { draw(); });
  }
  ~ProgressDisplay() {
    engine_.on_tick({});
    host_.show_progress("");
  }
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;

  const std::size_t* descriptors = nullptr;
  const std::deque<Archive>* archives = nullptr;

 private:
  void draw();

  host::Host& host_;
  net::TransferEngine& engine_;
  const std::uint64_t start_bytes_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace zarn::provell
