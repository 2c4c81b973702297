#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/file_tree.h"
#include "support/run_zarn.h"
#include "support/temp_dir.h"

namespace zarn::testing {

/// A temporary HOME and a project folder named "shop" beside it; zarn runs
/// inside the project folder.
class MigrateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(project);
  }

  ZarnRun migrate(std::vector<std::string> arguments = {}) const {
    arguments.insert(arguments.begin(), "migrate");
    return run_zarn({arguments, project, home, {}, {}});
  }

  std::filesystem::path pelk_profiles() const { return home / ".pelk" / "profiles.yml"; }
  std::filesystem::path zarn_profiles() const { return home / ".zarn" / "profiles.yml"; }

  TempDir temp;
  const std::filesystem::path home = temp / "home";
  const std::filesystem::path project = temp / "shop";
};

/// The PELK profiles of the tests: the project's own and one other.
inline const std::string kPelkProfiles =
    "shop:\n"
    "  target: dev\n"
    "  outputs:\n"
    "    dev:\n"
    "      type: postgres\n"
    "      port: 5432\n"
    "other:\n"
    "  target: prod\n";

inline const std::string kShopProfileOnly =
    "# ZARN Profiles Configuration\n"
    "\n"
    "shop:\n"
    "  outputs:\n"
    "    dev:\n"
    "      port: 5432\n"
    "      type: postgres\n"
    "  target: dev\n";

inline const std::string kSeparator(60, '=');

/// The Mode A summary listing these messages.
inline std::string summary(std::initializer_list<std::string> messages) {
  std::string text = lines({"", kSeparator, "Migration complete!", kSeparator});
  for (const auto& message : messages) text += "  " + message + "\n";
  return text + lines({"", "Your pelk configuration has been preserved as backups.",
                       "Run 'zarn target list' to verify your connections.", kSeparator});
}

/// While it lives, files written by this process and its children cannot grow
/// past a size: writes beyond it fail (EFBIG) as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    saved_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, saved_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, saved_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*saved_handler_)(int) = SIG_DFL;
};

/// Names parameterised tests after their case's name field.
struct CaseName {
  template <typename Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& test) const {
    return test.param.name;
  }
};

/// Names in a folder, sorted.
inline std::vector<std::string> names_in(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace zarn::testing
