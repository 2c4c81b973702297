#include "host/folder_name.h"

#include <algorithm>

namespace zarn::host {
namespace {

/// Longest file name the usual Linux filesystems accept.
constexpr std::size_t kMaxNameBytes = 255;

bool is_control(char c) {
  return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
}

}  // namespace

std::optional<std::string_view> folder_name_problem(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name == "." || name == "..") return "it names a folder that always exists";
  if (name.find('/') != std::string::npos) return "it holds a '/'";
  if (name.size() > kMaxNameBytes) return "it is longer than 255 bytes";
  if (std::any_of(name.begin(), name.end(), is_control)) return "it holds a control character";
  return std::nullopt;
}

}  // namespace zarn::host
