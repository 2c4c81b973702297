#pragma once

#include <CLI/CLI.hpp>
#include <functional>

#include "cli/exit_status.h"
#include "host/executable_host.h"

namespace zarn::cli {

/// What a chosen subcommand runs once parsing is done.
using Action = std::function<ExitStatus()>;

/// Adds `zarn init`; sets action when the user chooses it.
void add_init_command(CLI::App& app, host::ExecutableHost& host, Action& action);
/// Adds `zarn migrate`; sets action when the user chooses it.
void add_migrate_command(CLI::App& app, host::ExecutableHost& host, Action& action);
/// Adds `zarn target sync|list|install|uninstall`; sets action when one is chosen.
void add_target_command(CLI::App& app, host::ExecutableHost& host, Action& action);
/// Adds `zarn cache dir|size|clean|verify`; sets action when one is chosen.
void add_cache_command(CLI::App& app, host::ExecutableHost& host, Action& action);

}  // namespace zarn::cli
