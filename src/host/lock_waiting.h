#pragma once

#include "os/file_lock.h"

namespace zarn::host {

class Host;

/// The waiting of a task's host: its interrupt, and a notice on standard
/// error ("waiting for another zarn to finish with {folder}...").
os::LockWaiting waiting_of(Host& host);

}  // namespace zarn::host
