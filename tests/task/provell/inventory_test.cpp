#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "host/errors.h"
#include "task/provell/task_fixture.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTwoProfiles = R"(# ZARN Profiles Configuration

dev:
  target: pg
  outputs:
    pg: {type: postgres, host: localhost}
    wh: {type: snowflake}
prod:
  outputs:
    pg: {type: postgres}
    lake: {type: spark}
'42':
  outputs:
    n: {type: duckdb}
)";

const ConnectionInventory kAllOfTwoProfiles = {
    {"dev.pg", "postgres", "dev"},  {"dev.wh", "snowflake", "dev"}, {"prod.pg", "postgres", "prod"},
    {"prod.lake", "spark", "prod"}, {"42.n", "duckdb", "42"},
};

TEST(ConnectionInventory, ChoosesTheProfileOrScansThemAll) {
  struct Case {
    const char* name;
    std::optional<std::string> profile_name;
    std::optional<std::string> project_file;
    ConnectionInventory expected;
  };
  const Case cases[] = {
      {"named profile",
       "dev",
       std::nullopt,
       {{"pg", "postgres", "dev"}, {"wh", "snowflake", "dev"}}},
      {"named profile wins over the project file",
       "dev",
       "profile: prod\n",
       {{"pg", "postgres", "dev"}, {"wh", "snowflake", "dev"}}},
      {"no profile, no project file", std::nullopt, std::nullopt, kAllOfTwoProfiles},
      {"empty profile name", "", std::nullopt, kAllOfTwoProfiles},
      {"a profile the file lacks", "staging", std::nullopt, kAllOfTwoProfiles},
      {"profile of the project file",
       std::nullopt,
       "name: shop\nprofile: prod\n",
       {{"pg", "postgres", "prod"}, {"lake", "spark", "prod"}}},
      {"a number is no profile name", std::nullopt, "profile: 42\n", kAllOfTwoProfiles},
      {"project file without a profile", std::nullopt, "name: shop\n", kAllOfTwoProfiles},
      {"malformed project file", std::nullopt, "profile: [prod\n", kAllOfTwoProfiles},
      {"project file holding a list", std::nullopt, "- profile\n", kAllOfTwoProfiles},
  };
  for (const Case& c : cases) {
    TaskFixture f({}, c.profile_name);
    testing::write_file(f.profiles() / "profiles.yml", kTwoProfiles);
    if (c.project_file) testing::write_file(f.project() / "pelk_project.yml", *c.project_file);
    EXPECT_EQ(f.task->get_connections_info(), c.expected) << c.name;
    // Only a file that cannot be read is said (on standard error, here the one stream).
    const bool unusable = std::string_view(c.name) == "malformed project file";
    EXPECT_EQ(f.out.str().starts_with("zarn: cannot read the profile from "), unusable) << c.name;
    if (!unusable) {
      EXPECT_EQ(f.out.str(), "") << c.name;
    }
  }
}

TEST(ConnectionInventory, LeavesOutWhatIsNotATypedTargetMapping) {
  constexpr const char* kOddProfiles = R"(
dev:
  outputs:
    no_type: {host: h}
    empty_type: {type: ''}
    null_type: {type: null}
    false_type: {type: false}
    zero_type: {type: 0}
    listed: [type, postgres]
    text: postgres
    numbered: {type: 5}
    ok: {type: trino}
    7: {type: Postgres}
scalar_profile: just text
null_outputs:
  outputs:
listed_outputs:
  outputs: [a, b]
no_outputs:
  target: dev
)";
  struct Case {
    std::optional<std::string> profile_name;
    ConnectionInventory expected;
  };
  // A type is kept as read; names are text.
  const yaml::Node five = yaml::Node::integer(5);
  const Case cases[] = {
      {std::nullopt,
       {{"dev.numbered", five, "dev"}, {"dev.ok", "trino", "dev"}, {"dev.7", "Postgres", "dev"}}},
      {"dev", {{"numbered", five, "dev"}, {"ok", "trino", "dev"}, {"7", "Postgres", "dev"}}},
      {"scalar_profile", {}},
      {"null_outputs", {}},
      {"listed_outputs", {}},
      {"no_outputs", {}},
  };
  for (const Case& c : cases) {
    TaskFixture f({}, c.profile_name);
    testing::write_file(f.profiles() / "profiles.yml", kOddProfiles);
    EXPECT_EQ(f.task->get_connections_info(), c.expected) << c.profile_name.value_or("(all)");
  }
}

TEST(ConnectionInventory, ARepeatedNameKeepsItsPlaceAndTakesTheLaterTarget) {
  TaskFixture f;
  testing::write_file(f.profiles() / "profiles.yml",
                      "a.b: {outputs: {c: {type: postgres}}}\n"
                      "x: {outputs: {y: {type: spark}}}\n"
                      "a: {outputs: {b.c: {type: trino}}}\n");
  EXPECT_EQ(f.task->get_connections_info(),
            (ConnectionInventory{{"a.b.c", "trino", "a"}, {"x.y", "spark", "x"}}));
}

TEST(ConnectionInventory, RequiredTypesCollapseAndFollowTheFile) {
  TaskFixture f;
  testing::write_file(f.profiles() / "profiles.yml", kTwoProfiles);
  EXPECT_EQ(f.task->get_required_adapter_types(),
            (std::set<std::string>{"duckdb", "postgres", "snowflake", "spark"}));
  // Nothing is cached: the next call reads the file again.
  testing::write_file(f.profiles() / "profiles.yml", "dev: {outputs: {pg: {type: postgres}}}\n");
  EXPECT_EQ(f.task->get_required_adapter_types(), std::set<std::string>{"postgres"});
}

TEST(LoadProfiles, EmptyDocumentsAreEmptyMappings) {
  for (const char* text :
       {"", "# only a comment\n", "~\n", "null\n", "[]\n", "{}\n", "''\n", "false\n", "0\n"}) {
    TaskFixture f;
    testing::write_file(f.profiles() / "profiles.yml", text);
    const yaml::Node profiles = f.task->_load_profiles();
    EXPECT_TRUE(profiles.is_mapping()) << text;
    EXPECT_EQ(profiles.size(), 0u) << text;
    EXPECT_EQ(f.task->get_connections_info(), ConnectionInventory{}) << text;
    EXPECT_EQ(f.task->get_required_adapter_types(), std::set<std::string>{}) << text;
  }
}

TEST(LoadProfiles, FailsWithTheUnderlyingErrorAttached) {
  struct Case {
    const char* text;
    std::string message_after_prefix;  ///< what follows "{path}" in the message
  };
  const Case cases[] = {
      {"- dev\n- prod\n", ": the top level is a list, not a mapping of profile names"},
      {"just text\n", ": the top level is a text, not a mapping of profile names"},
      {"17\n", ": the top level is a number, not a mapping of profile names"},
      {"true\n", ": the top level is a truth value, not a mapping of profile names"},
      {"dev: [unclosed\n", ":"},  // the parser's own position and problem follow
  };
  for (const Case& c : cases) {
    TaskFixture f;
    const fs::path path = f.profiles() / "profiles.yml";
    testing::write_file(path, c.text);
    try {
      f.task->get_connections_info();
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const host::PelkRuntimeError& error) {
      const std::string expected =
          "Failed to load profiles.yml: " + path.string() + c.message_after_prefix;
      EXPECT_TRUE(std::string(error.what()).starts_with(expected)) << error.what();
      EXPECT_EQ(std::string(error.what()).find('\n'), std::string::npos) << error.what();
      EXPECT_TRUE(error.cause() != nullptr) << c.text;
    }
  }
}

TEST(LoadProfiles, AMissingFileSaysWhereItWasLookedFor) {
  TaskFixture f;
  const std::string expected = "profiles.yml not found at " +
                               (f.profiles() / "profiles.yml").string() +
                               "\nCreate it with: zarn init <project_name>";
  try {
    f.task->get_required_adapter_types();
    ADD_FAILURE() << "no error";
  } catch (const host::PelkRuntimeError& error) {
    EXPECT_EQ(std::string(error.what()), expected);
    EXPECT_TRUE(error.cause() == nullptr);
  }
}

TEST(ProvellTaskConstruction, DefaultsToTheWorkingFolderAndHomeZarn) {
  testing::TempDir dir;
  std::ostringstream out;
  host::ExecutableHost context{terminal::Printer(out),
                               os::Environment({{"HOME", (dir / "home").string()}})};
  for (const std::optional<std::string>& unset :
       {std::optional<std::string>(), std::optional<std::string>("")}) {
    ProvellTask task(context, unset, unset, unset);
    EXPECT_EQ(task.project_dir, fs::current_path().string());
    EXPECT_EQ(task.profiles_dir, (dir / "home" / ".zarn").string());
    EXPECT_EQ(task.profile_name, unset);
    EXPECT_TRUE(fs::is_directory(dir / "home" / ".zarn"));
  }
}

}  // namespace
}  // namespace zarn::provell
