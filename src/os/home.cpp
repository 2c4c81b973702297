#include "os/home.h"

#include <pwd.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

namespace zarn::os {

std::filesystem::path home_dir(const Environment& environment) {
  if (auto home = environment.get_non_empty("HOME")) return *home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* result = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
      result->pw_dir && *result->pw_dir) {
    return result->pw_dir;
  }
  throw std::runtime_error("cannot find the home folder: HOME is not set");
}

}  // namespace zarn::os
