#include "task/provell/adapters.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "os/interrupt.h"
#include "os/process.h"
#include "task/provell/catalogue.h"
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

/// Runs action for the package of each adapter type, one after the other;
/// a package that fails does not stop the others, an interrupt does.
Outcome run_for_each(const Output& out, const PackageAction& action,
                     const std::set<std::string>& adapter_types) {
  host::Host& host = out.host();
  Outcome outcome;
  for (const std::string& adapter_type : adapter_types) {
    host::throw_if_interrupted(host);  // Ctrl-C stopped the installer: start no other
    const auto package_name = lookup(ADAPTER_PACKAGE_MAPPING, adapter_type);
    if (!package_name || package_name->empty()) {
      if (action.reports_unknown_types) out.line("    ⚠ Unknown adapter type: " + adapter_type);
      continue;
    }
    const std::string package(*package_name);
    out.line(fmt::format("    {} {}...", action.doing, package));
    os::ProcessResult result;
    try {
      result = run_pip(host, action.command, package, action.options);
    } catch (const os::Interrupted&) {
      throw;
    } catch (const std::exception& error) {
      outcome.failures.push_back({package, error.what()});
      out.line(fmt::format("      ✗ Error {} {}: {}", action.gerund, package, error.what()));
      continue;
    }
    if (result.exit_status == 0) {
      outcome.done.push_back(package);
      out.line(fmt::format("      ✓ {} {}", package, action.done));
      continue;
    }
    const std::string excerpt = utf8_prefix(result.standard_error, kErrorExcerptLength);
    outcome.failures.push_back(
        {package, excerpt.empty() ? fmt::format("exit status {}", result.exit_status) : excerpt});
    out.line(fmt::format("      ✗ Failed to {} {}", action.infinitive, package));
    if (action.shows_error_excerpt && !excerpt.empty()) out.line("        " + excerpt);
  }
  host::throw_if_interrupted(host);  // one that came after the last package started still ends it
  return outcome;
}

}  // namespace

std::set<std::string> installed_adapters(host::Host& host) {
  std::set<std::string> found;
  try {
    found = host.find_modules(distinct_modules());
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

Outcome install_packages(const Output& out, const std::set<std::string>& adapter_types) {
  static const PackageAction install{"install",   {"--quiet"}, "Installing", "installing",
                                     "installed", "install",   true,         true};
  return run_for_each(out, install, adapter_types);
}

Outcome uninstall_packages(const Output& out, const std::set<std::string>& adapter_types) {
  static const PackageAction uninstall{"uninstall", {"-y", "--quiet"}, "Removing", "removing",
                                       "removed",   "remove",          false,      false};
  return run_for_each(out, uninstall, adapter_types);
}

}  // namespace zarn::provell
