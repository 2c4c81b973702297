#include "host/transfer_engine.h"

#include "host/interrupt.h"
#include "host/network.h"

namespace zarn::host {

std::unique_ptr<TransferEngine> open_transfer_engine(InterruptPoll pending_interrupt,
                                                     TransferOptions options) {
  // Resolved here, on this side of the module boundary: the module has no
  // interrupt flag of its own that the signal handler sets.
  if (!pending_interrupt) pending_interrupt = interrupt_signal;
  return network().engine(std::move(pending_interrupt), std::move(options));
}

}  // namespace zarn::host
