// The archives of the project's driver folder as a sync ends, and the
// clean-up of the archive settings of the local Spark compute.

#include "task/provell/jar_update.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>
#include <vector>

#include "task/provell/archive_names.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

/// Whether entry is an archive the download would count as present; one in
/// the way is left to the download to report.
bool is_usable_archive(const fs::directory_entry& entry) {
  try {
    return entry.path().filename().string().ends_with(".jar") && holds_archive(entry.path());
  } catch (const std::exception&) {
    return false;
  }
}

/// Names of the usable archives in folder, sorted; none when it cannot be listed.
std::vector<std::string> archive_names(const fs::path& folder) {
  std::error_code error;
  std::vector<fs::directory_entry> entries;
  std::copy(fs::directory_iterator(folder, error), fs::directory_iterator(),
            std::back_inserter(entries));
  std::erase_if(entries,
                [](const fs::directory_entry& entry) { return !is_usable_archive(entry); });
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const auto& entry : entries) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void report_archives(const Output& out, const fs::path& folder,
                     const std::vector<std::string>& jar_names) {
  if (jar_names.empty()) {
    out.line("\n  No JDBC JARs downloaded");
    return;
  }
  out.line(fmt::format("\n  JDBC JARs downloaded ({}):", jar_names.size()));
  for (const std::string& name : jar_names) out.line(fmt::format("    - {}", name));
  out.line(fmt::format("\n  ✓ JARs stored in: {}", folder.string()));
  out.line("    (Spark discovers JARs at runtime - portable across folder moves)");
}

}  // namespace

bool update_driver_registry(const Output& out, const fs::path& folder,
                            host::ComputeRegistry& registry) {
  const std::vector<std::string> jar_names = archive_names(folder);
  report_archives(out, folder, jar_names);
  if (const auto config = registry.entry_config("spark-local")) {
    bool modified = false;
    for (const std::string key : {"spark.jars", "spark.jars.packages"}) {
      if (!config->contains(key)) continue;
      config->erase(key);
      modified = true;
    }
    if (modified) {
      registry._save();
      out.line("\n  ✓ Cleaned up old spark.jars config (now uses runtime discovery)");
    }
  }
  return !jar_names.empty();
}

}  // namespace zarn::provell
