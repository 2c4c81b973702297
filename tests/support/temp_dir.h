#pragma once

#include <filesystem>
#include <string>

namespace zarn::testing {

/// A fresh folder under the system's temporary folder, removed with its
/// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

/// Writes text to path, creating missing parent folders.
void write_file(const std::filesystem::path& path, const std::string& text);
/// The whole content of a file; throws when it cannot be read.
std::string read_file(const std::filesystem::path& path);

}  // namespace zarn::testing
