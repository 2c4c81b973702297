#pragma once

#include <string>
#include <utility>
#include <vector>

#include "task/provell/outcome.h"

namespace zarn::provell {

/// An outcome as the two lists the plug-in returns: (done, failed items).
using PackageOutcome = std::pair<std::vector<std::string>, std::vector<std::string>>;

inline PackageOutcome lists(const Outcome& outcome) {
  return {outcome.done, outcome.failed_items()};
}

}  // namespace zarn::provell
