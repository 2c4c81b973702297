#include <gtest/gtest.h>

#include "support/run_zarn.h"
#include "support/temp_dir.h"

namespace zarn::testing {
namespace {

struct UsageCase {
  std::vector<std::string> arguments;
  int exit_status;
  std::string in_output;  ///< text expected on standard output or standard error
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const UsageCase& c, std::ostream* out) {
  for (const auto& word : c.arguments) *out << word << ' ';
}

class CommandLine : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CommandLine, ExitStatusAndText) {
  TempDir dir;
  const ZarnRun run = run_zarn({GetParam().arguments, dir.path(), dir.path(), {}, {}});
  EXPECT_EQ(run.exit_status, GetParam().exit_status) << run.out << run.err;
  EXPECT_NE((run.out + run.err).find(GetParam().in_output), std::string::npos)
      << run.out << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Usage, CommandLine,
    ::testing::Values(
        UsageCase{{"--version"}, 0, "zarn 0.5.95"}, UsageCase{{"--help"}, 0, "init"},
        UsageCase{{"target", "--help"}, 0, "list"},
        UsageCase{{"migrate", "--help"}, 0, "--profiles-only"},
        UsageCase{{"target", "sync", "--help"}, 0, "--clean"},
        UsageCase{{"target", "install", "--help"}, 0, "TYPE"}, UsageCase{{}, 2, "subcommand"},
        UsageCase{{"frobnicate"}, 2, "frobnicate"},
        UsageCase{{"migrate", "--no-such-flag"}, 2, "--no-such-flag"},
        UsageCase{{"migrate", "a", "b"}, 2, "b"}, UsageCase{{"target"}, 2, "subcommand"},
        UsageCase{{"target", "install"}, 2, "TYPE"}, UsageCase{{"init"}, 2, "NAME"},
        UsageCase{
            {"target", "install", "nosuchtype"}, 1, "Error: no adapter package for nosuchtype"},
        UsageCase{
            {"target", "uninstall", "nosuchtype"}, 1, "Error: no adapter package for nosuchtype"}));

TEST(CommandLine, ErrorsEndInOneLineOnStandardError) {
  TempDir dir;
  testing::write_file(dir / ".pelk" / "profiles.yml", "shop: [unclosed\n");
  testing::write_file(dir / "shop" / "pelk_project.yml", "name: shop\n");
  const ZarnRun run = run_zarn({{"migrate", "--profiles-only"}, dir / "shop", dir.path(), {}, {}});
  EXPECT_EQ(run.exit_status, 1);
  ASSERT_TRUE(run.err.starts_with("Error: ")) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  EXPECT_NE(run.err.find("profiles.yml:"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace zarn::testing
