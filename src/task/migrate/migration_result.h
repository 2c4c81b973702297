#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zarn::migrate {

/// Result of a migration operation.
struct MigrationResult {
  bool success;
  std::string message;
  int files_copied = 0;

  friend bool operator==(const MigrationResult&, const MigrationResult&) = default;
};

/// The results of the steps of a run; an entry may be absent (a step with
/// nothing to do).
using MigrationResults = std::vector<std::optional<MigrationResult>>;

/// Whether every present result succeeded; an empty list did.
bool all_succeeded(const MigrationResults& results);

}  // namespace zarn::migrate
