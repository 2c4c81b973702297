#include <fmt/format.h>
#include <fmt/ranges.h>

#include <memory>
#include <set>
#include <stdexcept>

#include "cli/commands.h"
#include "cli/connection_list.h"
#include "os/interrupt.h"
#include "task/provell/catalogue.h"
#include "task/provell/provell_task.h"
#include "task/provell/settings.h"

namespace zarn::cli {
namespace {

struct TargetOptions {
  std::string project_dir;
  std::string profiles_dir;
  std::string profile;
  bool quiet = false;
  bool clean = false;
  bool dry_run = false;
  bool offline = false;
  bool no_cache = false;
  std::size_t jobs = provell::TransferSettings{}.jobs;
  std::size_t streams = provell::TransferSettings{}.streams;
  bool json = false;
  std::vector<std::string> adapter_types;
};

std::optional<std::string> optional_text(const std::string& text) {
  return text.empty() ? std::nullopt : std::optional<std::string>(text);
}

void add_location_options(CLI::App& command, TargetOptions& options) {
  command.add_option("--project-dir", options.project_dir,
                     "Project folder (default: the current folder)");
  command.add_option("--profiles-dir", options.profiles_dir,
                     "Folder holding profiles.yml (default: ~/.zarn)");
  command.add_option("--profile", options.profile,
                     "Profile to use (default: the project file's profile)");
}

void add_quiet_option(CLI::App& command, TargetOptions& options) {
  command.add_flag("--quiet,-q", options.quiet, "Print only warnings and errors");
}

/// The network and cache settings of the command line.
provell::TransferSettings transfer_settings(const TargetOptions& options) {
  provell::TransferSettings settings;
  settings.jobs = options.jobs;
  settings.streams = options.streams;
  if (options.offline) settings.cache = provell::CacheUse::kOffline;
  if (options.no_cache) settings.cache = provell::CacheUse::kOff;
  return settings;
}

/// Builds the task. Its transfers and package runs stop cleanly on Ctrl-C,
/// removing their temporary files, so the signal becomes a flag from here on.
std::unique_ptr<provell::ProvellTask> make_task(host::ExecutableHost& host,
                                                const TargetOptions& options) {
  os::install_interrupt_handler();
  return std::make_unique<provell::ProvellTask>(
      host, optional_text(options.project_dir), optional_text(options.profiles_dir),
      optional_text(options.profile), transfer_settings(options));
}

void add_sync(CLI::App& target, host::ExecutableHost& host, Action& action) {
  auto options = std::make_shared<TargetOptions>();
  CLI::App* command = target.add_subcommand(
      "sync", "Compare adapters with the profile's connections and fetch JDBC drivers");
  add_location_options(*command, *options);
  add_quiet_option(*command, *options);
  command->add_flag("--clean", options->clean, "Also list unused adapters for removal");
  command->add_flag("--dry-run", options->dry_run, "Report only; download and change nothing");
  command->add_option("--jobs,-j", options->jobs, "Transfers at once (1: one after another)")
      ->check(CLI::Range(std::size_t{1}, std::size_t{64}))
      ->capture_default_str();
  command->add_option("--streams", options->streams, "Transfers at once over one HTTP/2 connection")
      ->check(CLI::Range(std::size_t{1}, std::size_t{256}))
      ->capture_default_str();
  auto* offline = command->add_flag("--offline", options->offline,
                                    "Make no request: take every driver from the driver cache");
  command->add_flag("--no-cache", options->no_cache, "Neither read nor fill the driver cache")
      ->excludes(offline);
  command->callback([&host, &action, options] {
    action = [&host, options] {
      const auto task = make_task(host, *options);
      return exit_status_of(task->sync(!options->quiet, options->clean, options->dry_run));
    };
  });
}

void add_list(CLI::App& target, host::ExecutableHost& host, Action& action) {
  auto options = std::make_shared<TargetOptions>();
  CLI::App* command =
      target.add_subcommand("list", "List the profile's connections, as sync would use them");
  add_location_options(*command, *options);
  command->add_flag("--json", options->json, "Print one JSON document for scripts");
  command->callback([&host, &action, options] {
    action = [&host, options] {
      provell::ProvellTask task(host, optional_text(options->project_dir),
                                optional_text(options->profiles_dir),
                                optional_text(options->profile));
      print_listing(host.printer(), task.list_connections(), options->json);
      return kExitSuccess;
    };
  });
}

/// Throws with the one-line reason unless every type's package went through.
void require_every_package(const std::set<std::string>& types, const provell::Outcome& outcome,
                           std::string_view verb) {
  std::vector<std::string> reasons;
  if (!outcome.failures.empty()) {
    reasons.push_back(
        fmt::format("could not {} {}", verb, fmt::join(outcome.failed_items(), ", ")));
  }
  std::vector<std::string> unknown;
  for (const std::string& type : types) {
    if (!provell::lookup(provell::ADAPTER_PACKAGE_MAPPING, type)) unknown.push_back(type);
  }
  if (!unknown.empty()) {
    reasons.push_back(fmt::format("no adapter package for {}", fmt::join(unknown, ", ")));
  }
  if (!reasons.empty()) throw std::runtime_error(fmt::format("{}", fmt::join(reasons, "; ")));
}

void add_package_command(CLI::App& target, host::ExecutableHost& host, Action& action,
                         const std::string& name, const std::string& help, bool install) {
  auto options = std::make_shared<TargetOptions>();
  CLI::App* command = target.add_subcommand(name, help);
  command->add_option("TYPE", options->adapter_types, "Adapter types, such as postgres")
      ->required();
  add_location_options(*command, *options);
  add_quiet_option(*command, *options);
  command->callback([&host, &action, options, install] {
    action = [&host, options, install] {
      const auto task = make_task(host, *options);
      const std::set<std::string> types(options->adapter_types.begin(),
                                        options->adapter_types.end());
      const auto outcome = install ? task->install_adapters(types, !options->quiet)
                                   : task->uninstall_adapters(types, !options->quiet);
      require_every_package(types, outcome, install ? "install" : "remove");
      return kExitSuccess;
    };
  });
}

}  // namespace

void add_target_command(CLI::App& app, host::ExecutableHost& host, Action& action) {
  CLI::App* target = app.add_subcommand("target", "Manage the adapters and drivers of targets");
  target->require_subcommand(1);
  add_sync(*target, host, action);
  add_list(*target, host, action);
  add_package_command(*target, host, action, "install", "Install the adapter packages of types",
                      true);
  add_package_command(*target, host, action, "uninstall", "Uninstall the adapter packages of types",
                      false);
}

}  // namespace zarn::cli
