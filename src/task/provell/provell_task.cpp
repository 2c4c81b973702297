#include "task/provell/provell_task.h"

#include <fmt/format.h>

#include "host/errors.h"
#include "task/provell/adapters.h"
#include "task/provell/catalogue.h"
#include "task/provell/connection_listing.h"
#include "task/provell/download.h"
#include "task/provell/driver_folder.h"
#include "task/provell/jar_update.h"
#include "task/provell/resolve.h"
#include "task/provell/sync.h"

namespace zarn::provell {
namespace {

std::string given_or(const std::optional<std::string>& given, auto fallback) {
  if (auto text = named(given)) return *text;
  return fallback();
}

}  // namespace

ProvellTask::ProvellTask(host::Host& host, const std::optional<std::string>& project_dir_arg,
                         const std::optional<std::string>& profiles_dir_arg,
                         std::optional<std::string> profile_name_arg, TransferSettings settings)
    : project_dir(
          given_or(project_dir_arg, [] { return std::filesystem::current_path().string(); })),
      profiles_dir(given_or(profiles_dir_arg,
                            [&host] { return get_zarn_dir(host.environment()).string(); })),
      profile_name(std::move(profile_name_arg)),
      compute_registry(host.compute_registry(project_dir)),
      host_(host),
      profiles_(host, {project_dir, profiles_dir, profile_name}),
      transfers_(host, std::move(settings)) {}

ProvellTask::~ProvellTask() = default;

std::set<std::string> ProvellTask::get_installed_adapters() {
  return installed_adapters(host_);
}

Outcome ProvellTask::install_adapters(const std::set<std::string>& adapter_types, bool verbose) {
  return install_packages(Output(host_, verbose), adapter_types);
}

Outcome ProvellTask::uninstall_adapters(const std::set<std::string>& adapter_types, bool verbose) {
  return uninstall_packages(Output(host_, verbose), adapter_types);
}

std::set<std::string> ProvellTask::_resolve_transitive_deps(const std::string& coord) {
  std::set<std::string> resolved;
  resolve_transitive(transfers_, coord, resolved, 0);
  return resolved;
}

void ProvellTask::_resolve_transitive_deps(const std::string& coord,
                                           std::set<std::string>& resolved, int depth) {
  resolve_transitive(transfers_, coord, resolved, depth);
}

Outcome ProvellTask::download_jdbc_jars(const std::set<std::string>& adapter_types, bool verbose) {
  return download_drivers(transfers_, Output(host_, verbose), driver_folder(project_dir),
                          adapter_types)
      .outcome;
}

bool ProvellTask::_download_jar(const std::string& url, const std::filesystem::path& dest_path,
                                bool verbose) {
  return download_archive(transfers_, Output(host_, verbose), url, dest_path);
}

bool ProvellTask::update_jdbc_jars(bool verbose) {
  return update_driver_registry(Output(host_, verbose), driver_folder(project_dir),
                                *compute_registry);
}

ConnectionListing ProvellTask::list_connections() {
  return provell::list_connections(profiles_);
}

bool ProvellTask::sync(bool verbose, bool clean, bool dry_run) {
  const Output out(host_, verbose);
  const SyncTarget target{profiles_, transfers_, driver_folder(project_dir), *compute_registry};
  try {
    return run_sync(target, out, {.clean = clean, .dry_run = dry_run});
  } catch (const host::PelkRuntimeError& error) {
    out.always(fmt::format("✗ Error: {}", error.what()));
    return false;
  }
}

}  // namespace zarn::provell
