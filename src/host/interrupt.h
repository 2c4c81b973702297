#pragma once

namespace zarn::host {

/// Makes Ctrl-C (SIGINT) and SIGTERM set a flag instead of killing the
/// process at once, so long transfers can stop cleanly and remove their
/// temporary files. The flag is the one process-wide state: signals have
/// nowhere else to go.
void install_interrupt_handler();
/// The signal that arrived since install_interrupt_handler(), or 0.
int interrupt_signal();
/// Whether an interrupt arrived since install_interrupt_handler().
inline bool interrupted() {
  return interrupt_signal() != 0;
}

}  // namespace zarn::host
