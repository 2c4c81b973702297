#pragma once

#include <array>
#include <string>
#include <string_view>

namespace zarn::migrate {

/// The text of a fresh zarn_project.yml for a project and its profile.
std::string render_project_template(const std::string& project_name,
                                    const std::string& profile_name);

/// A YAML scalar that reads back as text: single-quoted with quotes doubled,
/// or double-quoted with escapes when text holds a line break or control
/// character, which single quotes cannot carry.
std::string quoted_scalar(const std::string& text);

/// text as a mapping key: plain when it reads back as the same text, quoted otherwise.
std::string mapping_key(const std::string& text);

/// The text of flatfiles/.gitignore.
extern const char* const kFlatfilesGitignore;

/// The source folders the template's *-paths settings name, in its order.
inline constexpr std::array<std::string_view, 6> kSourceFolders{"models", "analyses", "tests",
                                                                "seeds",  "macros",   "snapshots"};

}  // namespace zarn::migrate
