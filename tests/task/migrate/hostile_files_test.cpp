#include <sys/stat.h>

#include "migrate_fixture.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

struct FifoCase {
  std::string name;
  std::string fifo;  ///< relative to the temporary folder
  std::vector<std::string> arguments;
};

class FifoInPlaceOfAFile : public MigrateTest, public ::testing::WithParamInterface<FifoCase> {};

// A FIFO would block the read for ever: it is refused in one line instead.
TEST_P(FifoInPlaceOfAFile, IsRefusedInOneLineNamingIt) {
  const FifoCase& c = GetParam();
  write_file(pelk_profiles(), kPelkProfiles);
  write_file(zarn_profiles(), "hub:\n  target: dev\n");
  write_file(temp / "src" / "pelk_project.yml", "name: src\n");
  if (c.arguments.size() == 1 && c.arguments[0] == "src") {
    write_file(project / "zarn_project.yml", "profile: hub\n");
  }
  const fs::path fifo = temp / c.fifo;
  fs::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::vector<std::string> arguments = c.arguments;
  if (arguments == std::vector<std::string>{"src"}) arguments = {(temp / "src").string()};

  const ZarnRun run = migrate(arguments);

  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.err, "Error: cannot read " + fifo.string() + ": not a regular file\n");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FifoInPlaceOfAFile,
    ::testing::Values(FifoCase{"project_file", "shop/pelk_project.yml", {"--project-only"}},
                      FifoCase{"pelk_profiles", "home/.pelk/profiles.yml", {"--profiles-only"}},
                      FifoCase{"zarn_profiles", "home/.zarn/profiles.yml", {"--profiles-only"}},
                      FifoCase{"imported_project_file", "src/pelk_project.yml", {"src"}}),
    CaseName());

TEST_F(MigrateTest, ControlCharactersInNamesArePrintedEscapedAndRefusedAsFolders) {
  write_file(pelk_profiles(), kPelkProfiles);
  write_file(project / "pelk_project.yml", "profile: \"\\e[31mred\\nfake line\"\n");
  const ZarnRun profile = migrate({"--profiles-only"});
  EXPECT_EQ(profile.out, "  No profile '\\x1b[31mred\\nfake line' found in ~/.pelk/profiles.yml\n");

  write_file(project / "zarn_project.yml", "profile: shop\n");
  write_file(temp / "src" / "pelk_project.yml", "name: \"a\\tb\"\n");
  write_file(temp / "src" / "models" / "m.sql", "select 1\n");
  const ZarnRun import = migrate({(temp / "src").string()});
  EXPECT_EQ(import.exit_status, 1);
  EXPECT_EQ(import.err, "Error: " + (temp / "src" / "pelk_project.yml").string() +
                            ": project name 'a\\tb' cannot be used as a folder name\n");
  EXPECT_FALSE(fs::exists(project / "models"));
}

}  // namespace
}  // namespace zarn::testing
