// The archives of the project's driver folder as a sync ends, and the
// clean-up of the archive settings of the local Spark compute.

#include <fmt/format.h>

#include <algorithm>
#include <string>
#include <vector>

#include "os/path_text.h"
#include "task/provell/archive_names.h"
#include "task/provell/driver_folder.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

/// Names of the usable archives in folder (as the download counts them),
/// sorted; none when it cannot be listed.
std::vector<std::string> archive_names(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    std::string name = entry.path().filename().string();
    try {
      if (name.ends_with(".jar") && holds_archive(entry.path())) names.push_back(std::move(name));
    } catch (const std::exception&) {
      // in the way: the download reports it
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

fs::path driver_folder(const std::string& project_dir) {
  const std::string folder = os::path_text(project_dir);
  return (folder == "." ? fs::path() : fs::path(folder)) / ".zarn" / "jdbc_jars";
}

bool ProvellTask::update_jdbc_jars(bool verbose) {
  const fs::path jdbc_jars_dir = driver_folder(project_dir);
  const std::vector<std::string> jar_names = archive_names(jdbc_jars_dir);
  if (verbose) {
    if (jar_names.empty()) {
      print("\n  No JDBC JARs downloaded");
    } else {
      print(fmt::format("\n  JDBC JARs downloaded ({}):", jar_names.size()));
      for (const std::string& name : jar_names) print(fmt::format("    - {}", name));
      print(fmt::format("\n  ✓ JARs stored in: {}", jdbc_jars_dir.string()));
      print("    (Spark discovers JARs at runtime - portable across folder moves)");
    }
  }

  if (const auto config = compute_registry->entry_config("spark-local")) {
    bool modified = false;
    for (const std::string key : {"spark.jars", "spark.jars.packages"}) {
      if (!config->contains(key)) continue;
      config->erase(key);
      modified = true;
    }
    if (modified) {
      compute_registry->_save();
      if (verbose) print("\n  ✓ Cleaned up old spark.jars config (now uses runtime discovery)");
    }
  }
  return !jar_names.empty();
}

}  // namespace zarn::provell
