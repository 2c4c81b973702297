#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_zarn.h"
#include "support/temp_dir.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

// An unquoted password that YAML reads as an alias or a tag: every command
// that reads profiles names the place, never the text.
TEST(SecretInYaml, ParseErrorsNameThePlaceNotTheAliasOrTag) {
  const std::string values[] = {"*Secr3tPW", "!Secr3tPW", "!!Secr3tPW",
                                "&Secr3tPW 1\n    other: &Secr3tPW 2"};
  for (const std::string& value : values) {
    TempDir dir;
    const std::string profiles =
        "dev:\n  outputs:\n    pg:\n      type: postgres\n      password: " + value + "\n";
    write_file(dir / "profiles" / "profiles.yml", profiles);
    write_file(dir / "home" / ".pelk" / "profiles.yml", profiles);
    fs::create_directories(dir / "project");
    const std::string place = "profiles.yml:";
    const std::string profiles_dir = (dir / "profiles").string();
    const std::vector<std::vector<std::string>> commands = {
        {"target", "list", "--profiles-dir", profiles_dir},
        {"target", "sync", "--dry-run", "--profiles-dir", profiles_dir},
        {"init", "shop", "--profiles-dir", profiles_dir},
        {"migrate", "--profiles-only"},
    };
    for (const auto& command : commands) {
      const ZarnRun run = run_zarn({command, dir / "project", dir / "home", {}, {}});
      const std::string shown = run.out + run.err;
      EXPECT_NE(run.exit_status, 0) << command[0] << ' ' << value;
      EXPECT_EQ(shown.find("Secr3tPW"), std::string::npos) << shown;
      EXPECT_NE(shown.find(place), std::string::npos) << shown;
    }
  }
}

}  // namespace
}  // namespace zarn::testing
