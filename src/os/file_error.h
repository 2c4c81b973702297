#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace zarn::os {

/// A failed operation on a file or folder: "cannot {action} {path}: {reason}".
/// Keeps the errno and the path, so a Python host can raise the matching OSError.
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& action, std::filesystem::path path, int error_number);
  /// "cannot {action} {path}: {reason}", for a refusal the errno text would not name.
  FileError(const std::string& action, std::filesystem::path path, int error_number,
            const std::string& reason);
  int error_number() const { return error_number_; }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int error_number_;
};

/// Throws FileError for errno.
[[noreturn]] void throw_file_error(const std::string& action, const std::filesystem::path& path,
                                   int error_number);

/// Throws std::runtime_error "{what}: {reason}" for a failure that concerns
/// no one file (a pipe, a child process's set-up).
[[noreturn]] void throw_system_error(const std::string& what, int error_number);

}  // namespace zarn::os
