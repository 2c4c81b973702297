#include "os/path_text.h"

#include <string_view>
#include <vector>

namespace zarn::os {
namespace {

std::vector<std::string_view> components(std::string_view text) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const auto slash = text.find('/');
    const std::string_view part = text.substr(0, slash);
    if (!part.empty() && part != ".") parts.push_back(part);
    if (slash == std::string_view::npos) break;
    text.remove_prefix(slash + 1);
  }
  return parts;
}

}  // namespace

std::string path_text(const std::filesystem::path& path) {
  const std::string& text = path.native();
  const bool absolute = !text.empty() && text.front() == '/';
  std::string result = absolute ? "/" : "";
  for (const auto part : components(text)) {
    if (!result.empty() && result.back() != '/') result += '/';
    result += part;
  }
  return result.empty() ? "." : result;
}

std::string path_name(const std::filesystem::path& path) {
  const auto parts = components(path.native());
  return parts.empty() ? std::string() : std::string(parts.back());
}

}  // namespace zarn::os
