#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "host/host.h"

namespace zarn::cli {

/// What a chosen subcommand runs once parsing is done; returns the exit status.
using Action = std::function<int()>;

/// Adds `zarn migrate`; sets action when the user chooses it.
void add_migrate_command(CLI::App& app, host::Host& host, Action& action);
/// Adds `zarn target sync|install|uninstall`; sets action when one is chosen.
void add_target_command(CLI::App& app, host::Host& host, Action& action);

}  // namespace zarn::cli
