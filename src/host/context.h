#pragma once

#include <ctime>
#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zarn::host {

/// A snapshot of environment variables, so tests can vary them.
class Environment {
 public:
  Environment() = default;
  explicit Environment(std::map<std::string, std::string> variables);
  /// The variables of this process.
  static Environment from_process();

  /// The value, or absent when unset.
  std::optional<std::string> get(std::string_view name) const;
  /// The value when set and not empty.
  std::optional<std::string> get_non_empty(std::string_view name) const;
  void set(std::string name, std::string value);

 private:
  std::map<std::string, std::string, std::less<>> variables_;
};

/// The one place task lines go: each echo is the text and a line break.
class Console {
 public:
  explicit Console(std::ostream& out);
  void echo(std::string_view text) const;

 private:
  std::ostream* out_;
};

/// Local wall-clock time, for backup file names.
using LocalClock = std::function<std::tm()>;
std::tm system_local_time();

}  // namespace zarn::host
