#include "os/environment.h"

extern char** environ;

namespace zarn::os {

Environment::Environment(std::map<std::string, std::string> variables)
    : variables_(variables.begin(), variables.end()) {}

Environment Environment::from_process() {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) continue;
    variables.emplace(std::string(text.substr(0, equals)), std::string(text.substr(equals + 1)));
  }
  return Environment(std::move(variables));
}

std::optional<std::string> Environment::get(std::string_view name) const {
  const auto found = variables_.find(name);
  if (found == variables_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> Environment::get_non_empty(std::string_view name) const {
  auto value = get(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

void Environment::set(std::string name, std::string value) {
  variables_.insert_or_assign(std::move(name), std::move(value));
}

std::vector<std::string> Environment::entries() const {
  std::vector<std::string> result;
  result.reserve(variables_.size());
  for (const auto& [name, value] : variables_) result.push_back(name + "=" + value);
  return result;
}

}  // namespace zarn::os
