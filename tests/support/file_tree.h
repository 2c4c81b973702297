#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>

namespace zarn::testing {

/// Every entry below root by relative path: a file's content, "<dir>" for a
/// folder, "-> target" for a symbolic link (which is not followed).
std::map<std::string, std::string> file_tree(const std::filesystem::path& root);

/// Text lines, each followed by a line break.
std::string lines(std::initializer_list<std::string_view> texts);

/// Permission bits of a file (link followed).
std::filesystem::perms mode_of(const std::filesystem::path& path);
void set_mode(const std::filesystem::path& path, std::filesystem::perms mode);

/// Access and modification times, in whole seconds plus nanoseconds.
struct FileTimes {
  timespec access{};
  timespec modification{};
};
FileTimes times_of(const std::filesystem::path& path);
void set_times(const std::filesystem::path& path, const FileTimes& times);
bool operator==(const FileTimes& a, const FileTimes& b);

}  // namespace zarn::testing
