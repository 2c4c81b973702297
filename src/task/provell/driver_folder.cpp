#include "task/provell/driver_folder.h"

#include "os/path_text.h"

namespace zarn::provell {

std::filesystem::path driver_folder(const std::string& project_dir) {
  const std::string folder = os::path_text(project_dir);
  return (folder == "." ? std::filesystem::path() : std::filesystem::path(folder)) / ".zarn" /
         "jdbc_jars";
}

}  // namespace zarn::provell
