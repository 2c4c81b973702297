#include <cstdio>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "host/errors.h"
#include "host/executable_host.h"
#include "os/atomic_file.h"
#include "os/error_text.h"
#include "os/interrupt.h"
#include "zarn/version.h"

namespace {

using zarn::cli::ExitStatus;

/// The command the user ran, as "zarn target sync".
std::string command_text(const CLI::App& app) {
  std::string text = "zarn";
  for (const CLI::App* command = &app; !command->get_subcommands().empty();) {
    command = command->get_subcommands().front();
    text += " " + command->get_name();
  }
  return text;
}

/// The status of a run that ended: a signal that asked it to stop wins, and
/// the temporary files its unwinding did not reach go.
ExitStatus finished(zarn::host::Host& host, ExitStatus status) {
  const int signal = host.pending_interrupt();
  if (signal == 0) return status;
  zarn::os::remove_live_temporaries();
  return zarn::cli::exit_status_for_signal(signal);
}

int run(int argc, char** argv) {
  zarn::host::ExecutableHost host;
  CLI::App app("zarn - a command-line tool for data projects", "zarn");
  app.set_version_flag("--version", "zarn " + std::string(zarn::kVersion));
  app.require_subcommand(0, 1);  // so an unknown word is reported as such

  zarn::cli::Action action;
  zarn::cli::add_init_command(app, host, action);
  zarn::cli::add_migrate_command(app, host, action);
  zarn::cli::add_target_command(app, host, action);
  zarn::cli::add_cache_command(app, host, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? zarn::cli::kExitSuccess : zarn::cli::kExitUsage;
  }
  if (!action) {
    host.printer().note("zarn: a subcommand is required (init, migrate, target or cache)");
    host.printer().note("Run with --help for more information.");
    return zarn::cli::kExitUsage;
  }

  // Ctrl-C, SIGTERM, SIGHUP and SIGQUIT become a flag the tasks poll, so they stop their
  // children and remove their temporary files on the way out.
  zarn::os::install_interrupt_handler();
  try {
    return finished(host, action());
  } catch (const zarn::os::Interrupted& stop) {
    host.printer().error(stop.what());
    zarn::os::remove_live_temporaries();
    return zarn::cli::exit_status_for_signal(stop.signal());
  } catch (const zarn::host::PelkRuntimeError& error) {
    // The host's runtime error (a profiles file that cannot be read) is told
    // as the sync tells it.
    host.printer().note("✗ Error: " + std::string(error.what()));
    return finished(host, zarn::cli::kExitFailure);
  } catch (const std::exception& error) {
    host.printer().error(zarn::os::error_text(error, command_text(app)));
    return finished(host, zarn::cli::kExitFailure);
  }
}

}  // namespace

int main(int argc, char** argv) {
  // run() catches what a command throws; this is for what setting up the
  // command line throws, which would otherwise end in std::terminate.
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "Error: %s\n", zarn::os::error_text(error, "zarn").c_str());
  } catch (...) {
    std::fprintf(stderr, "Error: unexpected failure\n");
  }
  return zarn::cli::kExitFailure;
}
