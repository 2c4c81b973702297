#include "net/transfer_engine.h"

#include "net/network.h"
#include "os/interrupt.h"

namespace zarn::net {

std::unique_ptr<TransferEngine> open_transfer_engine(os::InterruptPoll pending_interrupt,
                                                     TransferOptions options) {
  // Resolved here, on this side of the module boundary: the module has no
  // interrupt flag of its own that the signal handler sets.
  if (!pending_interrupt) pending_interrupt = os::interrupt_signal;
  return network().engine(std::move(pending_interrupt), std::move(options));
}

}  // namespace zarn::net
