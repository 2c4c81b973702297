#include "host/lock_waiting.h"

#include <filesystem>

#include "host/host.h"

namespace zarn::host {

os::LockWaiting waiting_of(Host& host) {
  return {
      [&host] { return host.pending_interrupt(); },
      [&host](const std::filesystem::path& folder) { host.notice(os::waiting_notice(folder)); }};
}

}  // namespace zarn::host
