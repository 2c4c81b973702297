#include <algorithm>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "host/interpreter.h"
#include "host/interrupt.h"
#include "host/process.h"
#include "task/provell/catalogue.h"
#include "task/provell/provell_task.h"
#include "task/provell/text_excerpt.h"

namespace zarn::provell {
namespace {

// Answers for every module in one interpreter start. The working folder is
// taken off the search path so that a folder named "pelk" there cannot pass
// for an installed adapter. A missing parent package means "not installed".
constexpr std::string_view kFindModulesScript =
    "import sys, importlib.util\n"
    "if sys.path and sys.path[0] == '':\n"
    "    del sys.path[0]\n"
    "for name in sys.argv[1:]:\n"
    "    try:\n"
    "        spec = importlib.util.find_spec(name)\n"
    "    except ModuleNotFoundError:\n"
    "        spec = None\n"
    "    if spec is not None:\n"
    "        print(name)\n";

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

std::set<std::string> lines_of(std::string_view text) {
  std::set<std::string> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.emplace(line);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

/// The last non-blank line: for a Python traceback, the error itself.
std::string last_line(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  const std::size_t start = text.rfind('\n');
  return std::string(start == std::string_view::npos ? text : text.substr(start + 1));
}

/// Runs the package installer for one package; throws when it cannot be run.
host::ProcessResult run_pip(const host::Environment& environment, std::string_view action,
                            const std::string& package, std::vector<std::string> options) {
  std::vector<std::string> argv{host::find_interpreter(environment).string(), "-m", "pip",
                                std::string(action), package};
  argv.insert(argv.end(), options.begin(), options.end());
  return host::run_process(argv);
}

}  // namespace

std::set<std::string> ProvellTask::get_installed_adapters() {
  constexpr std::string_view kFailure = "cannot look up the installed adapters: ";
  const std::string python = host::find_interpreter(context_.environment).string();
  std::vector<std::string> argv{python, "-c", std::string(kFindModulesScript)};
  const std::vector<std::string> modules = distinct_modules();
  argv.insert(argv.end(), modules.begin(), modules.end());
  host::ProcessResult result;
  try {
    result = host::run_process(argv);
  } catch (const std::runtime_error& error) {
    throw std::runtime_error(std::string(kFailure) + error.what());
  }
  if (result.exit_status != 0) {
    std::string detail = python + " exited with status " + std::to_string(result.exit_status);
    if (const std::string line = last_line(result.standard_error); !line.empty()) {
      detail += ": " + line;
    }
    throw std::runtime_error(std::string(kFailure) + detail);
  }
  const std::set<std::string> found = lines_of(result.standard_output);
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
    if (host::interrupted()) break;  // Ctrl-C stopped the installer; start no other
    const auto package_name = lookup(ADAPTER_PACKAGE_MAPPING, adapter_type);
    if (!package_name || package_name->empty()) {
      if (verbose) print("    ⚠ Unknown adapter type: " + adapter_type);
      continue;
    }
    const std::string package(*package_name);
    if (verbose) print("    Installing " + package + "...");
    host::ProcessResult result;
    try {
      result = run_pip(context_.environment, "install", package, {"--quiet"});
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
    if (host::interrupted()) break;  // Ctrl-C stopped the installer; start no other
    const auto package_name = lookup(ADAPTER_PACKAGE_MAPPING, adapter_type);
    if (!package_name || package_name->empty()) continue;
    const std::string package(*package_name);
    if (verbose) print("    Removing " + package + "...");
    host::ProcessResult result;
    try {
      result = run_pip(context_.environment, "uninstall", package, {"-y", "--quiet"});
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
