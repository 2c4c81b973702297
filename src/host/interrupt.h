#pragma once

namespace zarn::host {

/// Makes Ctrl-C (SIGINT) and SIGTERM set a flag instead of killing the
/// process at once, so long transfers can stop cleanly and remove their
/// temporary files. The flag is the one process-wide state: signals have
/// nowhere else to go.
void install_interrupt_handler();
/// Whether an interrupt arrived since install_interrupt_handler().
bool interrupted();

}  // namespace zarn::host
