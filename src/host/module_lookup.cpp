#include "host/module_lookup.h"

#include <stdexcept>
#include <string_view>

#include "os/process.h"

namespace zarn::host {
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

}  // namespace

std::set<std::string> find_modules_in_child(const std::filesystem::path& interpreter,
                                            const std::vector<std::string>& modules,
                                            os::InterruptPoll pending_interrupt,
                                            std::chrono::milliseconds time_limit,
                                            std::optional<os::Environment> environment) {
  std::vector<std::string> argv{interpreter.string(), "-c", std::string(kFindModulesScript)};
  argv.insert(argv.end(), modules.begin(), modules.end());
  os::ProcessOptions options;
  options.pending_interrupt = std::move(pending_interrupt);
  options.time_limit = time_limit;
  options.environment = std::move(environment);
  os::ProcessResult result;
  try {
    result = os::run_process(argv, options);
  } catch (const os::ProcessTimeLimit& error) {
    throw std::runtime_error(std::string(error.what()) +
                             " looking up modules; check that this Python environment works");
  }
  if (result.exit_status != 0) {
    std::string detail =
        interpreter.string() + " exited with status " + std::to_string(result.exit_status);
    if (const std::string line = last_line(result.standard_error); !line.empty()) {
      detail += ": " + line;
    }
    throw std::runtime_error(detail);
  }
  return lines_of(result.standard_output);
}

}  // namespace zarn::host
