#pragma once

#include <string>
#include <vector>

namespace zarn::provell {

/// The parts of a Maven coordinate, split at every ":" (group, artifact,
/// version, then any ignored rest); fewer than three make no coordinate.
std::vector<std::string> split_coordinate(const std::string& coord);

}  // namespace zarn::provell
