#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "host/process.h"
#include "task/provell/catalogue.h"
#include "task/provell/provell_task.h"
#include "task/provell/text_excerpt.h"

namespace zarn::provell {
namespace {

constexpr std::size_t kErrorExcerptLength = 200;

std::vector<std::string> distinct_modules() {
  std::vector<std::string> modules;
  for (const CatalogueEntry& entry : adapter_modules) {
    if (std::find(modules.begin(), modules.end(), entry.value) == modules.end()) {
      modules.emplace_back(entry.value);
    }
  }
  return modules;
}

/// Runs the package installer for one package, as long as it takes, unless
/// the host is interrupted; throws when it cannot be run.
host::ProcessResult run_pip(host::Host& host, std::string_view action, const std::string& package,
                            std::vector<std::string> options) {
  std::vector<std::string> argv{host.interpreter().string(), "-m", "pip", std::string(action),
                                package};
  argv.insert(argv.end(), options.begin(), options.end());
  host::ProcessOptions watch;
  watch.pending_interrupt = [&host] { return host.pending_interrupt(); };
  return host::run_process(argv, watch);
}

}  // namespace

std::set<std::string> ProvellTask::get_installed_adapters() {
  std::set<std::string> found;
  try {
    found = host_.find_modules(distinct_modules());
  } catch (const host::Interrupted&) {
    throw;
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(std::string("cannot look up the installed adapters: ") + error.what());
  }
  std::set<std::string> installed;
  for (const CatalogueEntry& entry : adapter_modules) {
    if (found.contains(std::string(entry.value))) installed.emplace(entry.adapter_type);
  }
  return installed;
}

PackageOutcome ProvellTask::install_adapters(const std::set<std::string>& adapter_types,
                                             bool verbose) {
  PackageOutcome outcome;
  auto& [installed, failed] = outcome;
  for (const std::string& adapter_type : adapter_types) {
    if (host_.pending_interrupt() != 0) break;  // Ctrl-C stopped the installer; start no other
    const auto package_name = lookup(ADAPTER_PACKAGE_MAPPING, adapter_type);
    if (!package_name || package_name->empty()) {
      if (verbose) print("    ⚠ Unknown adapter type: " + adapter_type);
      continue;
    }
    const std::string package(*package_name);
    if (verbose) print("    Installing " + package + "...");
    host::ProcessResult result;
    try {
      result = run_pip(host_, "install", package, {"--quiet"});
    } catch (const host::Interrupted&) {
      throw;
    } catch (const std::exception& error) {
      failed.push_back(package);
      if (verbose) print("      ✗ Error installing " + package + ": " + error.what());
      continue;
    }
    if (result.exit_status == 0) {
      installed.push_back(package);
      if (verbose) print("      ✓ " + package + " installed");
      continue;
    }
    failed.push_back(package);
    if (!verbose) continue;
    print("      ✗ Failed to install " + package);
    if (!result.standard_error.empty()) {
      print("        " + utf8_prefix(result.standard_error, kErrorExcerptLength));
    }
  }
  return outcome;
}

PackageOutcome ProvellTask::uninstall_adapters(const std::set<std::string>& adapter_types,
                                               bool verbose) {
  PackageOutcome outcome;
  auto& [uninstalled, failed] = outcome;
  for (const std::string& adapter_type : adapter_types) {
    if (host_.pending_interrupt() != 0) break;  // Ctrl-C stopped the installer; start no other
    const auto package_name = lookup(ADAPTER_PACKAGE_MAPPING, adapter_type);
    if (!package_name || package_name->empty()) continue;
    const std::string package(*package_name);
    if (verbose) print("    Removing " + package + "...");
    host::ProcessResult result;
    try {
      result = run_pip(host_, "uninstall", package, {"-y", "--quiet"});
    } catch (const host::Interrupted&) {
      throw;
    } catch (const std::exception& error) {
      failed.push_back(package);
      if (verbose) print("      ✗ Error removing " + package + ": " + error.what());
      continue;
    }
    if (result.exit_status == 0) {
      uninstalled.push_back(package);
      if (verbose) print("      ✓ " + package + " removed");
    } else {
      failed.push_back(package);
      if (verbose) print("      ✗ Failed to remove " + package);
    }
  }
  return outcome;
}

}  // namespace zarn::provell
