// Maven coordinates, and their archive addresses in a repository.

#include "task/provell/coordinates.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "text/printable.h"

namespace zarn::provell {
namespace {

/// Whether text stays one segment of a request path and of a file name.
bool is_plain_segment(const std::string& text) {
  if (text == "." || text == ".." || text::has_unsafe_character(text)) return false;
  return text.find_first_of(" ?#%/\\") == std::string::npos;
}

}  // namespace

std::vector<std::string> split_coordinate(const std::string& coord) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto colon = coord.find(':', start);
    parts.push_back(coord.substr(start, colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

std::pair<std::string, std::string> archive_of(std::string_view repo, const std::string& coord) {
  const auto parts = split_coordinate(coord);
  if (parts.size() < 3) {
    throw std::invalid_argument("Invalid Maven coordinate: " + text::printable(coord));
  }
  // The parts become request path segments and the archive name a file of
  // the driver folder: a descriptor must not be able to steer either.
  if (!std::all_of(parts.begin(), parts.begin() + 3, is_plain_segment)) {
    throw std::invalid_argument("Invalid Maven coordinate: " + text::printable(coord));
  }
  const std::string& artifact_id = parts[1];
  const std::string& version = parts[2];
  std::string jar_name = artifact_id + "-" + version + ".jar";
  std::string group_path = parts[0];
  std::replace(group_path.begin(), group_path.end(), '.', '/');
  std::string url =
      std::string(repo) + "/" + group_path + "/" + artifact_id + "/" + version + "/" + jar_name;
  return {std::move(url), std::move(jar_name)};
}

std::string descriptor_url(const std::string& archive_url) {
  return archive_url.substr(0, archive_url.size() - std::string_view(".jar").size()) + ".pom";
}

}  // namespace zarn::provell
