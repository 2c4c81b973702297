#include "task/migrate/migrate_task.h"

#include <type_traits>
#include <utility>

#include "task/migrate/conversion.h"
#include "task/migrate/detection.h"
#include "task/migrate/import_summary.h"
#include "task/migrate/profile_migration.h"
#include "task/migrate/project_file_migration.h"
#include "task/migrate/project_import.h"
#include "task/migrate/target_import.h"

namespace zarn::migrate {
namespace {

MigrationResult folder_result(const CopiedFolder& copy, bool dry_run) {
  return {true, copy.folder + (dry_run ? "/ (dry run)" : "/"), copy.files};
}

/// The folders a results list reports as copied. A list handed in from
/// outside (the plug-in) tells a folder copy only by the "/" in its message,
/// which no target-import message holds; the name is the message without
/// its trailing "/".
std::vector<std::string> copied_folders_of(const MigrationResults& results) {
  std::vector<std::string> folders;
  for (const auto& result : results) {
    if (!result || !result->success || result->message.find('/') == std::string::npos) continue;
    std::string folder = result->message;
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    folders.push_back(std::move(folder));
  }
  return folders;
}

/// Runs one operation between two interrupt checks, so a stop the host asked
/// for while it ran ends it even when no step polled.
template <typename Operation>
auto checked(const MigrateContext& context, Operation&& operation) {
  context.checkpoint();
  if constexpr (std::is_void_v<std::invoke_result_t<Operation>>) {
    std::forward<Operation>(operation)();
    context.checkpoint();
  } else {
    auto result = std::forward<Operation>(operation)();
    context.checkpoint();
    return result;
  }
}

}  // namespace

MigrateTask::MigrateTask(host::Host& host, MigrateSettings settings)
    : context_(host, std::move(settings)) {}

bool MigrateTask::run() {
  return checked(context_, [this] {
    const bool in_project = in_zarn_project(settings().project_dir);
    if (in_project && settings().source_path) return _import_pelk_project();
    if (in_project) {
      context_.echo("You are inside a ZARN project.");
      context_.echo("To import a pelk project, provide the path:");
      context_.echo("  zarn migrate /path/to/pelk_project");
      return true;
    }
    return _convert_to_zarn();
  });
}

bool MigrateTask::_convert_to_zarn() {
  return checked(context_, [this] { return convert_to_zarn(context_); });
}

MigrationResults MigrateTask::_auto_detect_and_migrate() {
  return checked(context_, [this] { return auto_detect_and_migrate(context_); });
}

MigrationResult MigrateTask::_migrate_profiles() {
  return checked(context_, [this] { return migrate_profile(context_); });
}

MigrationResult MigrateTask::_migrate_project_file() {
  return checked(context_, [this] { return migrate_project_file(context_); });
}

bool MigrateTask::_import_pelk_project() {
  return checked(context_, [this] {
    try {
      return import_project(context_).success();
    } catch (const NoSourceProject& missing) {
      // Told as a line of the import's own report, not as an error: the
      // command ends with a failure status and nothing was touched.
      context_.echo(std::string("Error: ") + missing.what());
      return false;
    }
  });
}

std::optional<MigrationResult> MigrateTask::_copy_directory(const std::string& dir_name,
                                                            const std::string& source_name) {
  return checked(context_, [&]() -> std::optional<MigrationResult> {
    const auto copy = copy_folder(context_, dir_name, source_name);
    if (!copy) return std::nullopt;
    return folder_result(*copy, settings().dry_run);
  });
}

MigrationResult MigrateTask::_import_profile_targets(const std::string& source_name) {
  return checked(context_, [&] { return import_profile_targets(context_, source_name); });
}

void MigrateTask::_show_summary(const MigrationResults& results) {
  checked(context_, [&] { show_summary(context_, results); });
}

void MigrateTask::_show_import_summary(const std::string& source_name,
                                       const MigrationResults& results) {
  checked(context_,
          [&] { show_import_summary(context_, source_name, copied_folders_of(results)); });
}

}  // namespace zarn::migrate
