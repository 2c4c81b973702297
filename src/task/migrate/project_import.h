#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "task/migrate/migrate_context.h"
#include "task/migrate/migration_result.h"

namespace zarn::migrate {

/// The source folders an import copies, in the order it copies them.
inline constexpr std::array<std::string_view, 6> kImportedFolders = {
    "models", "seeds", "tests", "macros", "snapshots", "analyses"};

/// A source folder brought into the project (in a dry run: that would be).
struct CopiedFolder {
  std::string folder;  ///< its name in both projects
  int files = 0;       ///< files in the target after the copy; in a dry run, in the source
};

/// What an import did: the folders copied, in order, and how its targets fared.
struct ImportOutcome {
  std::vector<CopiedFolder> copied;
  MigrationResult targets;
  /// Folder copies succeed or throw, so the targets decide.
  bool success() const { return targets.success; }
};

/// The source folder holds no pelk_project.yml; nothing was imported.
class NoSourceProject : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Imports the PELK project at the settings' source path into the project
/// folder: its source folders, each into {folder}/{name}/, then its targets;
/// prints the summary. Both project files are checked before anything is
/// copied; throws NoSourceProject when the source has no project file.
ImportOutcome import_project(const MigrateContext& context);

/// Copies source/{dir_name} into {project}/{dir_name}/{source_name}/, merging
/// into what is there; none when the source has no such entry. Both names
/// must be plain folder names.
std::optional<CopiedFolder> copy_folder(const MigrateContext& context, const std::string& dir_name,
                                        const std::string& source_name);

}  // namespace zarn::migrate
