#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <csignal>
#include <functional>
#include <stdexcept>
#include <utility>

namespace zarn::os {

/// The signals that ask zarn to stop: a closed terminal and SIGQUIT as well.
inline constexpr std::array<int, 4> kStopSignals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

/// Makes the stop signals set a flag instead of killing the process at once,
/// so long transfers can stop cleanly and remove their temporary files. A
/// repeated signal kills the registered children's process groups and ends
/// the process with 128 + its number. The flag is the one process-wide
/// state: signals have nowhere else to go. Only the executable's command
/// layer calls this.
void install_interrupt_handler();
/// A child's process group that a repeated signal kills (a few at a time),
/// from its start until it is reaped.
void register_child_group(pid_t group);
void unregister_child_group(pid_t group);
/// The signal that arrived since install_interrupt_handler(), or 0.
int interrupt_signal();

/// Thrown where a run stops because it was asked to (Ctrl-C, SIGTERM).
class Interrupted : public std::runtime_error {
 public:
  explicit Interrupted(int signal) : std::runtime_error("Interrupted"), signal_(signal) {}
  int signal() const { return signal_; }

 private:
  int signal_;
};

/// The signal that asks a wait to stop (SIGINT, SIGTERM), or 0.
using InterruptPoll = std::function<int()>;

/// Asks an InterruptPoll at most every interval, however often it is called,
/// since a host may take a lock to answer. Once a signal is seen it is kept.
class ThrottledPoll {
 public:
  explicit ThrottledPoll(InterruptPoll poll,
                         std::chrono::milliseconds interval = std::chrono::milliseconds(100))
      : poll_(std::move(poll)), interval_(interval) {}

  /// The signal seen so far, or 0.
  int operator()() {
    if (signal_ != 0 || !poll_) return signal_;
    const auto now = std::chrono::steady_clock::now();
    if (asked_ && now - last_ < interval_) return 0;
    asked_ = true;
    last_ = now;
    signal_ = poll_();
    return signal_;
  }

 private:
  InterruptPoll poll_;
  std::chrono::milliseconds interval_;
  std::chrono::steady_clock::time_point last_{};
  bool asked_ = false;
  int signal_ = 0;
};

}  // namespace zarn::os
