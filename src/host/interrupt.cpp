#include "host/interrupt.h"

#include <csignal>

namespace zarn::host {
namespace {

volatile std::sig_atomic_t interrupt_received = 0;

extern "C" void on_interrupt(int signal) {
  interrupt_received = signal;
}

}  // namespace

void install_interrupt_handler() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the process at once
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int interrupt_signal() {
  return interrupt_received;
}

}  // namespace zarn::host
