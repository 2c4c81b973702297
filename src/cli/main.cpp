#include <csignal>
#include <iostream>

#include "cli/commands.h"
#include "host/atomic_file.h"
#include "host/executable_host.h"
#include "host/interrupt.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;

/// 128 + the signal, as a shell reports a program the signal ended.
int interrupted_status(int signal) {
  return signal == SIGTERM ? 128 + SIGTERM : 128 + SIGINT;
}

int run(int argc, char** argv) {
  zarn::host::ExecutableHost host;
  CLI::App app("zarn - a command-line tool for data projects", "zarn");
  app.set_version_flag("--version", std::string("zarn ") + ZARN_VERSION);
  app.require_subcommand(0, 1);  // so an unknown word is reported as such

  zarn::cli::Action action;
  zarn::cli::add_migrate_command(app, host, action);
  zarn::cli::add_target_command(app, host, action);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int status = app.exit(error);
    return status == 0 ? 0 : kExitUsage;
  }
  if (!action) {
    std::cerr << "zarn: a subcommand is required (migrate or target)\n"
              << "Run with --help for more information.\n";
    return kExitUsage;
  }

  // Ctrl-C and SIGTERM become a flag the tasks poll, so they stop their
  // children and remove their temporary files on the way out.
  zarn::host::install_interrupt_handler();
  int status = kExitFailure;
  try {
    status = action();
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "Error: " << error.what() << '\n';
  }
  if (const int signal = zarn::host::interrupt_signal(); signal != 0) {
    zarn::host::remove_live_temporaries();
    return interrupted_status(signal);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
