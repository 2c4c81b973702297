#pragma once

#include <set>
#include <string>

#include "host/host.h"
#include "task/provell/outcome.h"
#include "task/provell/output.h"

namespace zarn::provell {

/// The adapter types whose modules the host's interpreter can find.
std::set<std::string> installed_adapters(host::Host& host);

/// Runs the package installer for the package of each type, one after the
/// other: the packages installed, and those that failed with the reason. A
/// type without a package is in neither list. An interrupt throws.
Outcome install_packages(const Output& out, const std::set<std::string>& adapter_types);
/// The same, removing the packages.
Outcome uninstall_packages(const Output& out, const std::set<std::string>& adapter_types);

}  // namespace zarn::provell
