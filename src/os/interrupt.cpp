#include "os/interrupt.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>

namespace zarn::os {
namespace {

volatile std::sig_atomic_t interrupt_received = 0;

/// The process groups of the children running now, for the handler to kill.
std::array<std::atomic<pid_t>, 8> child_groups{};

extern "C" void on_interrupt(int signal) {
  if (interrupt_received == 0) {
    interrupt_received = signal;
    return;
  }
  // A repeated signal ends zarn at once, but never leaves a child running.
  for (const std::atomic<pid_t>& group : child_groups) {
    if (const pid_t id = group.load(); id > 0) ::kill(-id, SIGKILL);
  }
  ::_exit(128 + signal);
}

}  // namespace

void install_interrupt_handler() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kStopSignals) sigaction(signal, &action, nullptr);
}

int interrupt_signal() {
  return interrupt_received;
}

void register_child_group(pid_t group) {
  for (std::atomic<pid_t>& slot : child_groups) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, group)) return;
  }
}

void unregister_child_group(pid_t group) {
  for (std::atomic<pid_t>& slot : child_groups) {
    pid_t expected = group;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

}  // namespace zarn::os
