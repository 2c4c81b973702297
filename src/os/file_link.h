#pragma once

#include <filesystem>

namespace zarn::os {

/// How place_file put a file in place.
enum class Placement { kLinked, kCopied };

/// Puts the file at from also at to, replacing what is there: a hard link
/// (made under a temporary name, then renamed) when allow_link is set and
/// both share a file system that links, otherwise a copy through a
/// temporary file and a rename. Readers of to see the old file or the whole
/// new one. Throws naming the file that failed.
Placement place_file(const std::filesystem::path& from, const std::filesystem::path& to,
                     bool allow_link = true);

}  // namespace zarn::os
