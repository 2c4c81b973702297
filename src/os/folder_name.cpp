#include "os/folder_name.h"

#include "text/printable.h"

namespace zarn::os {
namespace {

/// Longest file name the usual Linux filesystems accept.
constexpr std::size_t kMaxNameBytes = 255;

}  // namespace

std::optional<std::string_view> folder_name_problem(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name == "." || name == "..") return "it names a folder that always exists";
  if (name.find('/') != std::string::npos) return "it holds a '/'";
  if (name.size() > kMaxNameBytes) return "it is longer than 255 bytes";
  if (text::has_unsafe_character(name)) return "it holds a control or text-direction character";
  return std::nullopt;
}

}  // namespace zarn::os
