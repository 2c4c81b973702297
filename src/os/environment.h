#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::os {

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
  /// The variables as "NAME=value" texts, as a child's environment takes them.
  std::vector<std::string> entries() const;

 private:
  std::map<std::string, std::string, std::less<>> variables_;
};

}  // namespace zarn::os
