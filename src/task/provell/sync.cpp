// `zarn target sync`: the connection report, the adapter status with the
// commands that would fix it, then the driver downloads and clean-up.

#include "task/provell/sync.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "task/provell/adapters.h"
#include "task/provell/catalogue.h"
#include "task/provell/download.h"
#include "task/provell/jar_update.h"
#include "text/printable.h"

namespace zarn::provell {
namespace {

constexpr std::string_view kDashLine = "----------------------------------------";
constexpr std::string_view kEqualsLine =
    "============================================================";

std::string package_of(const std::string& adapter_type) {
  return std::string(lookup(ADAPTER_PACKAGE_MAPPING, adapter_type).value_or("unknown"));
}

std::set<std::string> difference(const std::set<std::string>& a, const std::set<std::string>& b) {
  std::set<std::string> result;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(result, result.end()));
  return result;
}

/// A name from the user's files as a report line shows it: escaped, so a
/// line break in it cannot forge a line.
std::string shown(std::string_view name) {
  return text::printable(name);
}

/// Writes the report lines of one run.
class Report {
 public:
  explicit Report(const Output& out) : out_(out) {}

  void line(std::string_view text) const { out_.line(text); }

  void connections(const ConnectionInventory& inventory) const {
    line(fmt::format("\nConnections found: {}", inventory.size()));
    line(kDashLine);
    std::map<std::string, std::vector<std::string>> by_type;
    for (const Connection& connection : inventory) {
      by_type[shown(connection.type_text())].push_back(shown(connection.name));
    }
    for (const auto& [adapter_type, names] : by_type) {
      line(fmt::format("\n  {} ({} connection(s)):", adapter_type, names.size()));
      for (const std::string& name : names) line(fmt::format("    - {}", name));
      line(fmt::format("    Package: {}", package_of(adapter_type)));
    }
  }

  void status(const std::set<std::string>& to_install, const std::set<std::string>& to_uninstall,
              const std::set<std::string>& unused, bool clean) const {
    line(fmt::format("\n{}", kDashLine));
    line("\nAdapter Status:");
    if (!to_install.empty()) {
      line(fmt::format("\n  To install ({}):", to_install.size()));
      for (const auto& type : to_install) {
        line(fmt::format("    - {}: pip install {}", shown(type), package_of(type)));
      }
    } else {
      line("\n  ✓ All required adapters already installed");
    }
    if (!to_uninstall.empty()) {
      line(fmt::format("\n  To remove ({}):", to_uninstall.size()));
      for (const auto& type : to_uninstall) {
        line(fmt::format("    - {}: pip uninstall {}", shown(type), package_of(type)));
      }
    }
    if (!unused.empty() && !clean) {
      line(fmt::format("\n  Installed but not used ({}):", unused.size()));
      for (const auto& type : unused) {
        line(fmt::format("    - {} ({})", shown(type), package_of(type)));
      }
      line("    (use --clean to remove unused adapters)");
    }
  }

  /// The pip and uv commands that would install or remove the types' packages.
  void manual_commands(const std::set<std::string>& types, std::string_view heading,
                       std::string_view title_verb, std::string_view verb) const {
    if (types.empty()) return;
    line(fmt::format("\n{}", kDashLine));
    line(fmt::format("\n{} Adapters ({}):", heading, types.size()));
    line(fmt::format("  {} manually with pip or uv:\n", title_verb));
    for (const auto& type : types) {
      line(fmt::format("    pip {} {}", verb, package_of(type)));
      line(fmt::format("    # or: uv pip {} {}\n", verb, package_of(type)));
    }
  }

  void section(std::string_view title) const {
    line(fmt::format("\n{}", kDashLine));
    line(fmt::format("\n{}", title));
  }

 private:
  const Output& out_;
};

}  // namespace

bool run_sync(const SyncTarget& target, const Output& out, SyncOptions options) {
  const Report report(out);
  out.line("\nZARN Target Sync");
  out.line(kEqualsLine);
  const Inventory inventory = target.profiles.inventory();
  const std::set<std::string> required = inventory.adapter_types();
  if (inventory.chosen) out.line(fmt::format("Profile: {}", shown(*inventory.chosen)));
  report.connections(inventory.connections);
  if (required.empty()) {
    out.always("\n⚠ No connections found in profiles.yml");
    out.always("  Add connections to ~/.zarn/profiles.yml first");
    return false;
  }

  const std::set<std::string> installed = installed_adapters(out.host());
  const std::set<std::string> to_install = difference(required, installed);
  const std::set<std::string> unused = difference(installed, required);
  const std::set<std::string> to_uninstall = options.clean ? unused : std::set<std::string>{};
  report.status(to_install, to_uninstall, unused, options.clean);

  if (options.dry_run) {
    out.line(fmt::format("\n{}", kEqualsLine));
    out.line("Dry run complete. No changes made.");
    return true;
  }

  report.manual_commands(to_install, "Missing", "Install", "install");
  report.manual_commands(to_uninstall, "Unused", "Uninstall", "uninstall");
  report.section("Downloading JDBC JARs...");
  const DriverDownloads downloads =
      download_drivers(target.transfers, out, target.driver_folder, required);
  if (!downloads.outcome.failures.empty()) {
    out.line(fmt::format("\n  ⚠ {} JAR(s) failed to download", downloads.outcome.failures.size()));
  }

  report.section("Updating JDBC configuration...");
  update_driver_registry(out, target.driver_folder, target.registry);

  out.line(fmt::format("\n{}", kEqualsLine));
  out.line("✓ Sync complete");
  out.line("\nYou can now run: zarn run");
  // Apart from the report, which reads the same whether or not the archives were fetched.
  if (!downloads.cache_summary.empty()) out.notice(downloads.cache_summary);
  return true;
}

}  // namespace zarn::provell
