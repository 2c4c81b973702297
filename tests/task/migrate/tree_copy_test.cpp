#include <map>
#include <string>

#include "migrate_fixture.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;

using Tree = std::map<std::string, std::string>;

const std::string kZarnProfiles = "shop:\n  target: dev\n";

class MigrateTreeCopyTest : public MigrateTest {
 protected:
  void SetUp() override {
    MigrateTest::SetUp();
    write_file(zarn_profiles(), kZarnProfiles);
  }
};

// After converting in place, `zarn migrate .` imports the project into
// itself: models/ is copied into models/shop/, which lies inside models/.
TEST_F(MigrateTreeCopyTest, ImportIntoItselfCopiesWhatWasThereBefore) {
  write_file(project / "pelk_project.yml", "name: shop\n");
  write_file(project / "zarn_project.yml", "name: shop\nprofile: shop\n");
  write_file(project / "models" / "a.sql", "A\n");
  write_file(project / "models" / "sub" / "b.sql", "B\n");

  const ZarnRun first = migrate({"."});
  ASSERT_EQ(first.exit_status, 0) << first.err;
  EXPECT_NE(first.out.find("  Copied models/ (2 files)\n"), std::string::npos) << first.out;
  EXPECT_EQ(file_tree(project / "models"), (Tree{{"a.sql", "A\n"},
                                                 {"sub", "<dir>"},
                                                 {"sub/b.sql", "B\n"},
                                                 {"shop", "<dir>"},
                                                 {"shop/a.sql", "A\n"},
                                                 {"shop/sub", "<dir>"},
                                                 {"shop/sub/b.sql", "B\n"}}));

  // The second copy must read models/shop/a.sql before models/a.sql replaces it.
  write_file(project / "models" / "a.sql", "A2\n");
  const ZarnRun second = migrate({"."});
  ASSERT_EQ(second.exit_status, 0) << second.err;
  EXPECT_NE(second.out.find("  Copied models/ (4 files)\n"), std::string::npos) << second.out;
  const Tree copied = file_tree(project / "models" / "shop");
  EXPECT_EQ(copied.at("a.sql"), "A2\n");
  EXPECT_EQ(copied.at("shop/a.sql"), "A\n");
  EXPECT_EQ(copied.at("shop/sub/b.sql"), "B\n");
  EXPECT_EQ(copied.size(), 7u);
}

TEST_F(MigrateTreeCopyTest, LinksAreFollowedOnceAndCyclesCut) {
  const fs::path source = temp / "src";
  write_file(source / "pelk_project.yml", "name: shop\n");
  write_file(project / "zarn_project.yml", "profile: shop\n");
  const fs::path models = source / "models";
  write_file(models / "a.sql", "A\n");
  write_file(models / "sub" / "b.sql", "B\n");
  write_file(temp / "outside" / "c.sql", "C\n");
  fs::create_symlink("a.sql", models / "link.sql");
  fs::create_symlink(".", models / "self");
  fs::create_symlink("..", models / "sub" / "up");
  fs::create_symlink("../../outside", models / "elsewhere");
  fs::create_symlink("missing.sql", models / "dangling.sql");

  for (const bool dry : {true, false}) {
    const ZarnRun run = migrate(dry ? std::vector<std::string>{source.string(), "--dry-run"}
                                    : std::vector<std::string>{source.string()});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const std::string expected = dry ? "  [DRY RUN] Would copy models/ (3 files) → models/shop/\n"
                                     : "  Copied models/ (3 files)\n";
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
  }
  EXPECT_EQ(file_tree(project / "models" / "shop"),
            (Tree{{"a.sql", "A\n"},
                  {"elsewhere", "-> " + (temp / "outside").string()},
                  {"link.sql", "A\n"},
                  {"sub", "<dir>"},
                  {"sub/b.sql", "B\n"}}));
}

// A link that leads out of the source project stays a link to the same
// place, so nothing from elsewhere (a private key, /etc) lands in the project.
TEST_F(MigrateTreeCopyTest, LinksOutOfTheSourceProjectStayLinks) {
  const fs::path source = temp / "src";
  write_file(source / "pelk_project.yml", "name: shop\n");
  write_file(project / "zarn_project.yml", "profile: shop\n");
  write_file(source / "seeds" / "s.csv", "1\n");
  write_file(home / ".ssh" / "id_rsa", "PRIVATE KEY\n");
  const fs::path models = source / "models";
  write_file(models / "a.sql", "A\n");
  struct Case {
    std::string link;
    std::string target;  ///< as written in the link
    std::string copied;  ///< as the copy shows it
  };
  const Case cases[] = {
      {"key", (home / ".ssh" / "id_rsa").string(), "-> " + (home / ".ssh" / "id_rsa").string()},
      {"ssh", "../../home/.ssh", "-> " + (home / ".ssh").string()},
      {"etc", "/etc", "-> /etc"},
      {"seed.csv", "../seeds/s.csv", "1\n"},  // inside the project: copied as before
  };
  for (const Case& c : cases) fs::create_symlink(c.target, models / c.link);

  const ZarnRun run = migrate({source.string()});

  ASSERT_EQ(run.exit_status, 0) << run.err;
  EXPECT_NE(run.out.find("  Copied models/ (3 files)\n"), std::string::npos) << run.out;
  const Tree copied = file_tree(project / "models" / "shop");
  for (const Case& c : cases) EXPECT_EQ(copied.at(c.link), c.copied) << c.link;
  EXPECT_EQ(copied.size(), 5u);
}

// The copied folder itself may be the link: models -> ~/.ssh.
TEST_F(MigrateTreeCopyTest, ACopiedFolderThatLinksOutStaysALink) {
  const fs::path source = temp / "src";
  write_file(source / "pelk_project.yml", "name: shop\n");
  write_file(project / "zarn_project.yml", "profile: shop\n");
  write_file(home / ".ssh" / "id_rsa", "PRIVATE KEY\n");
  write_file(source / "inside" / "s.csv", "1\n");
  fs::create_symlink(home / ".ssh", source / "models");
  fs::create_symlink("inside", source / "seeds");  // inside the project: copied as before

  for (const bool dry : {true, false}) {
    const ZarnRun run = migrate(dry ? std::vector<std::string>{source.string(), "--dry-run"}
                                    : std::vector<std::string>{source.string()});
    ASSERT_EQ(run.exit_status, 0) << run.err;
    const std::string expected = dry ? "Would copy models/ (0 files)" : "Copied models/ (0 files)";
    EXPECT_NE(run.out.find(expected), std::string::npos) << run.out;
  }
  EXPECT_EQ(file_tree(project / "models"), (Tree{{"shop", "-> " + (home / ".ssh").string()}}));
  EXPECT_EQ(file_tree(project / "seeds"), (Tree{{"shop", "<dir>"}, {"shop/s.csv", "1\n"}}));
}

TEST_F(MigrateTreeCopyTest, LinkAtDestinationIsReplacedNotWrittenThrough) {
  const fs::path source = temp / "src";
  write_file(source / "pelk_project.yml", "name: shop\n");
  write_file(project / "zarn_project.yml", "profile: shop\n");
  write_file(source / "models" / "a.sql", "new\n");
  write_file(temp / "precious.sql", "keep\n");
  fs::create_directories(project / "models" / "shop");
  fs::create_symlink(temp / "precious.sql", project / "models" / "shop" / "a.sql");

  ASSERT_EQ(migrate({source.string()}).exit_status, 0);

  EXPECT_EQ(read_file(temp / "precious.sql"), "keep\n");
  EXPECT_EQ(file_tree(project / "models" / "shop"), (Tree{{"a.sql", "new\n"}}));
}

TEST_F(MigrateTreeCopyTest, FailurePartWayNamesThePathAndKeepsEarlierCopies) {
  const fs::path source = temp / "src";
  write_file(source / "pelk_project.yml", "name: shop\n");
  write_file(project / "zarn_project.yml", "profile: shop\n");
  write_file(source / "models" / "a.sql", "A\n");
  write_file(source / "models" / "big.bin", std::string(8192, 'x'));

  ZarnRun run;
  {
    const FileSizeLimit limit(4096);
    run = migrate({source.string()});
  }

  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, lines({"Importing pelk project 'shop' into current ZARN project...", ""}));
  EXPECT_TRUE(run.err.starts_with("Error: ")) << run.err;
  EXPECT_NE(run.err.find("big.bin"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  EXPECT_EQ(read_file(project / "models" / "shop" / "a.sql"), "A\n");
  EXPECT_EQ(read_file(zarn_profiles()), kZarnProfiles);
}

}  // namespace
}  // namespace zarn::testing
