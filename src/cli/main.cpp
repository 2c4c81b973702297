#include <iostream>

#include "cli/commands.h"
#include "host/executable_host.h"
#include "host/interrupt.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
constexpr int kExitInterrupted = 130;

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

  try {
    const int status = action();
    return zarn::host::interrupted() ? kExitInterrupted : status;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "Error: " << error.what() << '\n';
    return zarn::host::interrupted() ? kExitInterrupted : kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  return run(argc, argv);
}
