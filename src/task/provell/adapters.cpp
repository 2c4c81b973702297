#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "os/interrupt.h"
#include "os/process.h"
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
os::ProcessResult run_pip(host::Host& host, std::string_view action, const std::string& package,
                          std::vector<std::string> options) {
  std::vector<std::string> argv{host.interpreter().string(), "-m", "pip", std::string(action),
                                package};
  argv.insert(argv.end(), options.begin(), options.end());
  os::ProcessOptions watch;
  watch.pending_interrupt = [&host] { return host.pending_interrupt(); };
  watch.environment = host.environment();
  return os::run_process(argv, watch);
}

/// What differs between installing and removing adapter packages: the
/// installer's command and options and the words of the lines shown.
struct PackageAction {
  std::string_view command;
  std::vector<std::string> options;
  std::string_view doing;       ///< "Installing {package}..."
  std::string_view gerund;      ///< "Error installing {package}: ..."
  std::string_view done;        ///< "{package} installed"
  std::string_view infinitive;  ///< "Failed to install {package}"
  bool reports_unknown_types;
  bool shows_error_excerpt;
};

/// Runs action for the package of each adapter type, one after the other,
/// until an interrupt; a package that fails does not stop the others.
PackageOutcome run_for_each(host::Host& host, const PackageAction& action,
                            const std::set<std::string>& adapter_types, bool verbose) {
  const auto print = [&host, verbose](const std::string& line) {
    if (verbose) host.echo(line);
  };
  PackageOutcome outcome;
  auto& [succeeded, failed] = outcome;
  for (const std::string& adapter_type : adapter_types) {
    host::throw_if_interrupted(host);  // Ctrl-C stopped the installer: start no other, report none
    const auto package_name = lookup(ADAPTER_PACKAGE_MAPPING, adapter_type);
    if (!package_name || package_name->empty()) {
      if (action.reports_unknown_types) print("    ⚠ Unknown adapter type: " + adapter_type);
      continue;
    }
    const std::string package(*package_name);
    print("    " + std::string(action.doing) + " " + package + "...");
    os::ProcessResult result;
    try {
      result = run_pip(host, action.command, package, action.options);
    } catch (const os::Interrupted&) {
      throw;
    } catch (const std::exception& error) {
      failed.push_back(package);
      print("      ✗ Error " + std::string(action.gerund) + " " + package + ": " + error.what());
      continue;
    }
    if (result.exit_status == 0) {
      succeeded.push_back(package);
      print("      ✓ " + package + " " + std::string(action.done));
      continue;
    }
    failed.push_back(package);
    print("      ✗ Failed to " + std::string(action.infinitive) + " " + package);
    if (action.shows_error_excerpt && !result.standard_error.empty()) {
      print("        " + utf8_prefix(result.standard_error, kErrorExcerptLength));
    }
  }
  return outcome;
}

}  // namespace

std::set<std::string> ProvellTask::get_installed_adapters() {
  std::set<std::string> found;
  try {
    found = host_.find_modules(distinct_modules());
  } catch (const os::Interrupted&) {
    throw;
  } catch (const std::runtime_error& error) {
    std::throw_with_nested(
        std::runtime_error(std::string("cannot look up the installed adapters: ") + error.what()));
  }
  std::set<std::string> installed;
  for (const CatalogueEntry& entry : adapter_modules) {
    if (found.contains(std::string(entry.value))) installed.emplace(entry.adapter_type);
  }
  return installed;
}

PackageOutcome ProvellTask::install_adapters(const std::set<std::string>& adapter_types,
                                             bool verbose) {
  const PackageAction install{.command = "install",
                              .options = {"--quiet"},
                              .doing = "Installing",
                              .gerund = "installing",
                              .done = "installed",
                              .infinitive = "install",
                              .reports_unknown_types = true,
                              .shows_error_excerpt = true};
  return run_for_each(host_, install, adapter_types, verbose);
}

PackageOutcome ProvellTask::uninstall_adapters(const std::set<std::string>& adapter_types,
                                               bool verbose) {
  const PackageAction uninstall{.command = "uninstall",
                                .options = {"-y", "--quiet"},
                                .doing = "Removing",
                                .gerund = "removing",
                                .done = "removed",
                                .infinitive = "remove",
                                .reports_unknown_types = false,
                                .shows_error_excerpt = false};
  return run_for_each(host_, uninstall, adapter_types, verbose);
}

}  // namespace zarn::provell
