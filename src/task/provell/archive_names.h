#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>

namespace zarn::provell {

/// Whether a usable archive lies under path: a non-empty file, itself or
/// behind a link. Nothing, an empty file or a dangling link is fetched again
/// (the new file replaces it); a folder, another link or any other kind of
/// entry is in the way, and an error. Unlike a missing entry, a failed check
/// (no search permission) is an error.
bool holds_archive(const std::filesystem::path& path);

/// The coordinate each archive name of one sync belongs to. Two archives
/// under one name would leave one of them unfetched, or a lookalike in place
/// of a driver, so a name is never shared.
class ArchiveNames {
 public:
  /// Gives name to coord, or throws when another coordinate has it.
  /// Coordinates of one address (g:a:v and g:a:v:x) are one archive.
  void claim(const std::string& name, const std::string& coord, const std::string& url);

 private:
  std::map<std::string, std::pair<std::string, std::string>> owners_;  ///< name: coord, url
};

}  // namespace zarn::provell
