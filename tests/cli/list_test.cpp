#include <gtest/gtest.h>

#include <optional>

#include "support/file_tree.h"
#include "support/run_zarn.h"
#include "support/temp_dir.h"

namespace zarn::testing {
namespace {

constexpr const char* kProfiles = R"(dev:
  target: wh
  outputs:
    pg: {type: postgres}
    wh: {type: snowflake}
    untyped: {host: x}
prod:
  target: pg
  outputs:
    pg: {type: neverheard}
)";

struct ListCase {
  std::string label;
  std::optional<std::string> profiles;  ///< absent: no profiles.yml
  std::vector<std::string> options;
  int exit_status;
  std::string out;       ///< all of standard output
  std::string in_error;  ///< expected within standard error
};

void PrintTo(const ListCase& c, std::ostream* out) {
  *out << c.label;
}

class TargetList : public ::testing::TestWithParam<ListCase> {};

TEST_P(TargetList, PrintsTheInventory) {
  TempDir dir;
  if (GetParam().profiles) write_file(dir / "p" / "profiles.yml", *GetParam().profiles);
  std::vector<std::string> arguments{"target", "list", "--profiles-dir", "p"};
  arguments.insert(arguments.end(), GetParam().options.begin(), GetParam().options.end());
  const ZarnRun run = run_zarn({arguments, dir.path(), dir / "home", {}, {}});
  EXPECT_EQ(run.exit_status, GetParam().exit_status) << run.err;
  EXPECT_EQ(run.out, GetParam().out);
  EXPECT_NE(run.err.find(GetParam().in_error), std::string::npos) << run.err;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// A project file that cannot be used names no profile, so every profile is
// used as before; both commands say so once on standard error.
TEST(UnusableProjectFile, IsSaidOnceAndEveryProfileUsed) {
  for (const std::string command : {"list", "sync"}) {
    TempDir dir;
    write_file(dir / "p" / "profiles.yml", kProfiles);
    std::vector<std::string> arguments{"target", command, "--profiles-dir", "p"};
    if (command == "sync") arguments.push_back("--dry-run");
    const ZarnRun plain = run_zarn({arguments, dir.path(), dir / "home", {}, {}});
    write_file(dir / "pelk_project.yml", "profile: [unclosed\n");
    const ZarnRun guessed = run_zarn({arguments, dir.path(), dir / "home", {}, {}});
    EXPECT_EQ(guessed.exit_status, plain.exit_status) << command;
    EXPECT_EQ(guessed.out, plain.out) << command;
    const std::string notice =
        "zarn: cannot read the profile from " + (dir / "pelk_project.yml").string() + ":2:1: ";
    EXPECT_EQ(count_of(guessed.err, notice), 1u) << guessed.err;
    EXPECT_NE(guessed.err.find("; using every profile\n"), std::string::npos) << guessed.err;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TargetList,
    ::testing::Values(
        ListCase{
            "all profiles",
            kProfiles,
            {},
            0,
            lines({"  NAME     TYPE        PROFILE  PACKAGE",
                   "  dev.pg   postgres    dev      pelk-postgres",
                   "* dev.wh   snowflake   dev      pelk-snowflake",
                   "* prod.pg  neverheard  prod     unknown", "* the profile's default target"}),
            ""},
        ListCase{"one profile as JSON",
                 kProfiles,
                 {"--profile", "dev", "--json"},
                 0,
                 lines({R"({)", R"(  "profiles_file": "p/profiles.yml",)", R"(  "connections": [)",
                        R"(    {"name": "pg", "type": "postgres", "profile": "dev", )"
                        R"("package": "pelk-postgres", "default_target": false},)",
                        R"(    {"name": "wh", "type": "snowflake", "profile": "dev", )"
                        R"("package": "pelk-snowflake", "default_target": true})",
                        "  ]", "}"}),
                 ""},
        ListCase{
            "names JSON must escape, and the printer leaves valid",
            "dev:\n  outputs:\n    \"a\\x9b\\u202e\\e\": {type: postgres}\n",
            {"--profile", "dev", "--json"},
            0,
            lines({R"({)", R"(  "profiles_file": "p/profiles.yml",)", R"(  "connections": [)",
                   R"(    {"name": "a\u009b\u202e\u001b", "type": "postgres", "profile": "dev", )"
                   R"("package": "pelk-postgres", "default_target": false})",
                   "  ]", "}"}),
            ""},
        ListCase{"profile not in the file",
                 "dev:\n  outputs:\n    pg: {type: postgres}\n",
                 {"--profile", "nosuch"},
                 0,
                 lines({"  NAME    TYPE      PROFILE  PACKAGE",
                        "  dev.pg  postgres  dev      pelk-postgres"}),
                 "Warning: profile 'nosuch' is not in profiles.yml; listing every profile"},
        ListCase{"empty file", "", {}, 0, "No connections found in p/profiles.yml\n", ""},
        ListCase{"broken file", "dev: [", {}, 1, "", "✗ Error: Failed to load profiles.yml: "},
        ListCase{"no file", std::nullopt, {}, 1, "", "✗ Error: profiles.yml not found at "}));

}  // namespace
}  // namespace zarn::testing
