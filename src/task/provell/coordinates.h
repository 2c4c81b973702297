#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn::provell {

/// The parts of a Maven coordinate, split at every ":" (group, artifact,
/// version, then any ignored rest); fewer than three make no coordinate.
std::vector<std::string> split_coordinate(const std::string& coord);

/// The archive address of coord below repo (no trailing "/") and the
/// archive's name; throws std::invalid_argument for text that is no
/// coordinate or whose parts would leave their path segment.
std::pair<std::string, std::string> archive_of(std::string_view repo, const std::string& coord);

/// The descriptor (.pom) address beside an archive address.
std::string descriptor_url(const std::string& archive_url);

}  // namespace zarn::provell
