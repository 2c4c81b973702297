#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace zarn::os {

/// The few filesystem operations the tasks need, each throwing
/// std::runtime_error with a one-line message that names the path.

/// Whether an entry of any kind (a dangling link included) exists at path.
bool entry_exists(const std::filesystem::path& path);
/// The most a configuration file read by read_text_file may hold.
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{64} << 20;

/// The whole content of a regular file (or a link to one), refused when
/// larger than kMaxTextFileBytes before it is read. Every failure is a
/// FileError: a folder with EISDIR, a FIFO or device (refused without
/// waiting) with EINVAL.
std::string read_text_file(const std::filesystem::path& path);
/// Copies content, permission bits and access and modification times through
/// a temporary file renamed over to, so the copy appears whole or not at all;
/// an existing destination is replaced. A link is followed; a source that is
/// not a regular file is refused.
void copy_file_atomic(const std::filesystem::path& from, const std::filesystem::path& to);
/// Creates a folder and its missing parents; an existing folder is fine.
void create_folders(const std::filesystem::path& path);
/// Creates one folder whose parent must exist; an existing folder is fine.
void create_folder(const std::filesystem::path& path);

}  // namespace zarn::os
