#include "task/migrate/migration_result.h"

#include <algorithm>

namespace zarn::migrate {

bool all_succeeded(const MigrationResults& results) {
  return std::all_of(results.begin(), results.end(),
                     [](const auto& result) { return !result || result->success; });
}

}  // namespace zarn::migrate
