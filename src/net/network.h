#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "net/transfer_engine.h"

namespace zarn::net {

/// A digest fed piece by piece.
class Digest {
 public:
  virtual ~Digest() = default;
  virtual void update(std::string_view bytes) = 0;
  /// The digest of everything fed, as lowercase hex digits; ends the feed.
  virtual std::string hex_digest() = 0;
};

/// What needs libcurl and libcrypto. Those two bring in some forty shared
/// libraries whose loading would dominate the start of every command, so the
/// zarn executable loads this from its own module on first use; the test
/// programs and the Python plug-in link it in.
class Network {
 public:
  virtual ~Network() = default;
  /// A transfer engine; pending_interrupt is never empty.
  virtual std::unique_ptr<TransferEngine> engine(os::InterruptPoll pending_interrupt,
                                                 TransferOptions options) = 0;
  virtual std::unique_ptr<Digest> sha1() = 0;
};

/// Raised with every change of Network or of the types it passes (their
/// namespace too: an exception is caught by its type's name), so a module
/// left from another build is refused instead of called wrongly.
constexpr int kNetworkInterface = 3;

/// The program's network, created or loaded on the first call and kept for
/// the life of the process. Defined by what a program links: src/net/linked
/// (libcurl in the process) or the executable's module loader
/// (src/cli/network_module.cpp); this folder only declares it.
/// Throws, naming the module, when it cannot be loaded.
Network& network();

}  // namespace zarn::net
