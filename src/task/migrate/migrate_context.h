#pragma once

#include <filesystem>
#include <string_view>
#include <utility>

#include "host/host.h"
#include "os/interrupt.h"
#include "task/migrate/migrate_settings.h"

namespace zarn::migrate {

/// What every step of a migration works with: the host it runs on, the run's
/// settings, and the one way its lines are printed.
class MigrateContext {
 public:
  MigrateContext(host::Host& host, MigrateSettings settings)
      : host_(host), settings_(std::move(settings)) {}

  host::Host& host() const { return host_; }
  const MigrateSettings& settings() const { return settings_; }
  bool dry_run() const { return settings_.dry_run; }
  const std::filesystem::path& project_dir() const { return settings_.project_dir; }

  /// Prints one line through the host, names read from files escaped.
  void echo(std::string_view text) const;
  /// ~/.pelk/profiles.yml and ~/.zarn/profiles.yml; the home folder is
  /// looked up afresh each time.
  std::filesystem::path pelk_profiles_path() const;
  std::filesystem::path zarn_profiles_path() const;
  /// Throws os::Interrupted when the host asks the run to stop.
  void checkpoint() const { host::throw_if_interrupted(host_); }

 private:
  host::Host& host_;
  MigrateSettings settings_;
};

}  // namespace zarn::migrate
