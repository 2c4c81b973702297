#pragma once

#include <filesystem>
#include <string>

#include "os/environment.h"

namespace zarn::cache {

/// The per-user cache of driver archives: ZARN_CACHE_DIR when set, else
/// $XDG_CACHE_HOME/zarn (an absolute XDG_CACHE_HOME only), else
/// $HOME/.cache/zarn. Throws when none of them is set.
std::filesystem::path cache_folder(const os::Environment& environment);

/// Creates the cache folder and its missing parents; the folder itself is
/// made 0700 when it is new, since it reveals which drivers a user works with.
void create_cache_folder(const std::filesystem::path& folder);

/// The folder as a user reads it: "~/..." below HOME, else the plain path.
std::string cache_folder_text(const std::filesystem::path& folder,
                              const os::Environment& environment);

}  // namespace zarn::cache
