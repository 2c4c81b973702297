#include "task/provell/catalogue.h"

#include "os/files.h"
#include "os/home.h"

namespace zarn::provell {

std::string maven_repo(const os::Environment& environment) {
  std::string repo = environment.get_non_empty("ZARN_MAVEN_REPO").value_or("");
  while (repo.ends_with('/')) repo.pop_back();
  if (repo.empty()) return std::string(MAVEN_REPO);
  return repo;
}

std::filesystem::path get_zarn_dir(const os::Environment& environment) {
  std::filesystem::path zarn_dir = os::home_dir(environment) / ".zarn";
  os::create_folders(zarn_dir);
  return zarn_dir;
}

}  // namespace zarn::provell
