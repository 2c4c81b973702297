#include "os/error_text.h"

#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>
#include <typeinfo>

namespace zarn::os {

std::string error_text(const std::exception& error, std::string_view operation) {
  std::string what = error.what();
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return std::string(operation) + " ran out of memory";
  }
  // A filesystem error names its paths; a bare system error names nothing.
  if (dynamic_cast<const std::filesystem::filesystem_error*>(&error) == nullptr &&
      dynamic_cast<const std::system_error*>(&error) != nullptr) {
    return std::string(operation) + ": " + what;
  }
  if (dynamic_cast<const std::logic_error*>(&error) != nullptr ||
      dynamic_cast<const std::runtime_error*>(&error) == nullptr) {
    return std::string(operation) + " failed on an internal error (" + what + ")";
  }
  return what;
}

}  // namespace zarn::os
