#include "task/migrate/migrate_context.h"

#include <string>

#include "os/home.h"
#include "text/printable.h"

namespace zarn::migrate {

void MigrateContext::echo(std::string_view text) const {
  // Names read from files may hold control characters; shown escaped, they
  // can neither split the line nor drive the terminal. A leading line break
  // is the message's own empty line.
  const std::size_t own_breaks = text.starts_with('\n') ? 1 : 0;
  host_.echo(std::string(text.substr(0, own_breaks)) + text::printable(text.substr(own_breaks)));
}

std::filesystem::path MigrateContext::pelk_profiles_path() const {
  return os::home_dir(host_.environment()) / ".pelk" / "profiles.yml";
}

std::filesystem::path MigrateContext::zarn_profiles_path() const {
  return os::home_dir(host_.environment()) / ".zarn" / "profiles.yml";
}

}  // namespace zarn::migrate
