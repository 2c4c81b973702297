#pragma once

#include <filesystem>
#include <string>

namespace zarn::os {

/// A path as the user reads it in messages: repeated and trailing slashes and
/// "." components dropped ("a//b/./c/" is "a/b/c"; "" and "./" are ".").
std::string path_text(const std::filesystem::path& path);

/// The last component of path_text(path): "" for ".", "/" and the empty path.
std::string path_name(const std::filesystem::path& path);

}  // namespace zarn::os
