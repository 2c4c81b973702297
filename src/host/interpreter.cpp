#include "host/interpreter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace zarn::host {
namespace {

constexpr std::string_view kNotFound =
    "no Python interpreter found: set ZARN_PYTHON to the interpreter whose environment holds "
    "the adapters, or activate its virtual environment";

bool is_executable_file(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

/// The system's default search path, for a process started without PATH.
std::string default_search_path() {
  const std::size_t length = ::confstr(_CS_PATH, nullptr, 0);
  if (length == 0) return "/usr/bin:/bin";
  std::string path(length, '\0');
  ::confstr(_CS_PATH, path.data(), length);
  path.resize(length - 1);
  return path;
}

std::optional<std::filesystem::path> search_path(std::string_view search, std::string_view name) {
  while (!search.empty()) {
    const std::size_t colon = search.find(':');
    const std::string_view folder = search.substr(0, colon);
    search = colon == std::string_view::npos ? std::string_view() : search.substr(colon + 1);
    // An empty entry would mean the working folder: never pick an interpreter from there.
    if (folder.empty()) continue;
    std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (is_executable_file(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace

std::filesystem::path find_interpreter(const os::Environment& environment) {
  // A chosen interpreter is taken as given: if it cannot run, starting it says why.
  if (auto chosen = environment.get_non_empty("ZARN_PYTHON")) return *chosen;
  if (auto virtual_env = environment.get_non_empty("VIRTUAL_ENV")) {
    return std::filesystem::path(*virtual_env) / "bin" / "python";
  }
  const std::string search = environment.get("PATH").value_or(default_search_path());
  if (auto found = search_path(search, "python3")) return *found;
  throw std::runtime_error(std::string(kNotFound));
}

}  // namespace zarn::host
