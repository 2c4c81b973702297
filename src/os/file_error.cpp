#include "os/file_error.h"

#include <cstring>

#include "text/printable.h"

namespace zarn::os {

FileError::FileError(const std::string& action, std::filesystem::path path, int error_number)
    // The path may hold a name from a user's tree: shown escaped, like every name.
    : std::runtime_error("cannot " + action + " " + text::printable(path.string()) + ": " +
                         std::strerror(error_number)),
      path_(std::move(path)),
      error_number_(error_number) {}

FileError::FileError(const std::string& action, std::filesystem::path path, int error_number,
                     const std::string& reason)
    : std::runtime_error("cannot " + action + " " + path.string() + ": " + reason),
      path_(std::move(path)),
      error_number_(error_number) {}

void throw_file_error(const std::string& action, const std::filesystem::path& path,
                      int error_number) {
  throw FileError(action, path, error_number);
}

void throw_system_error(const std::string& what, int error_number) {
  throw std::runtime_error(what + ": " + std::strerror(error_number));
}

}  // namespace zarn::os
