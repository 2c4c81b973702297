#pragma once

#include <set>
#include <string>

#include "task/provell/descriptors.h"
#include "task/provell/transfers.h"

namespace zarn::provell {

/// Adds coord and, from depth down, the run-time dependencies its POM
/// descriptors list to resolved. A descriptor that cannot be had or read
/// only ends its own expansion; an interrupt throws.
void resolve_transitive(Transfers& transfers, const std::string& coord,
                        std::set<std::string>& resolved, int depth);

/// The union of the resolutions of coords, sharing their descriptors;
/// on_resolved hears each coordinate as the walk reaches it. Throws, before
/// any archive is fetched, when a driver needs more archives than allowed.
std::set<std::string> resolve_all(Transfers& transfers, const std::set<std::string>& coords,
                                  const CoordinateHook& on_resolved = {});

}  // namespace zarn::provell
