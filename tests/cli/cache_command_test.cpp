// The driver cache through the built binary: what a second project's sync
// prints, where the cache lives, and syncs and clean-ups running at once.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "cache/cache_maintenance.h"
#include "support/maven_server.h"
#include "support/run_zarn.h"
#include "support/temp_dir.h"
#include "support/zarn_child.h"

namespace zarn::testing {
namespace {

namespace fs = std::filesystem;
using Environment = std::map<std::string, std::string>;

const std::string kPostgres = "org.postgresql:postgresql:42.7.4";
const std::string kMysql = "com.mysql:mysql-connector-j:9.1.0";
const std::string kPostgresEntry = "org/postgresql/postgresql/42.7.4/postgresql-42.7.4.jar";

class CacheCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "profiles" / "profiles.yml",
               "dev:\n  target: pg\n  outputs:\n    pg: {type: postgres}\n    my: {type: mysql}\n");
    server.add_jar(kPostgres, 300000);
    server.add_jar(kMysql, 200000);
  }

  fs::path home() const { return dir / "home"; }
  fs::path cache() const { return home() / ".cache" / "zarn"; }
  fs::path jars(const std::string& project) const { return dir / project / ".zarn" / "jdbc_jars"; }

  ZarnInvocation zarn(std::vector<std::string> arguments, Environment environment = {}) const {
    environment["ZARN_MAVEN_REPO"] = server.repo_url();
    environment["ZARN_PYTHON"] = "/usr/bin/python3";
    return {std::move(arguments),
            dir.path(),
            home(),
            std::move(environment),
            {"VIRTUAL_ENV", "PYTHONPATH", "http_proxy", "https_proxy", "HTTPS_PROXY"}};
  }
  ZarnInvocation sync(const std::string& project, std::vector<std::string> options = {},
                      Environment environment = {}) const {
    std::vector<std::string> arguments{"target",         "sync",
                                       "--project-dir",  (dir / project).string(),
                                       "--profiles-dir", (dir / "profiles").string()};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return zarn(std::move(arguments), std::move(environment));
  }

  MavenServer server;
  TempDir dir;
};

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

TEST_F(CacheCommandTest, ASecondProjectPrintsWhatADownloadPrints) {
  const ZarnRun first = run_zarn(sync("one"));
  ASSERT_EQ(first.exit_status, 0) << first.err;
  EXPECT_EQ(first.err, "");  // nothing came from the cache
  const int requests = server.total_requests();

  for (const std::string option : {"", "--offline"}) {
    SCOPED_TRACE(option);
    fs::remove_all(dir / "two");
    const ZarnRun second =
        run_zarn(sync("two", option.empty() ? std::vector<std::string>{} : std::vector{option}));
    EXPECT_EQ(second.exit_status, 0);
    EXPECT_EQ(replaced(second.out, (dir / "two").string(), (dir / "one").string()), first.out);
    EXPECT_EQ(second.err, "zarn: 2 of 2 archives from the cache (~/.cache/zarn)\n");
    EXPECT_EQ(server.total_requests(), requests);
    for (const std::string name : {"postgresql-42.7.4.jar", "mysql-connector-j-9.1.0.jar"}) {
      EXPECT_EQ(read_file(jars("two") / name), read_file(jars("one") / name));
    }
  }
  const ZarnRun quiet = run_zarn(sync("three", {"--quiet"}));
  EXPECT_EQ(quiet.exit_status, 0);
  EXPECT_EQ(quiet.out + quiet.err, "");
}

TEST_F(CacheCommandTest, TheCacheFolderFollowsTheEnvironment) {
  const struct {
    std::string name;
    Environment environment;
    fs::path folder;  ///< empty: no cache anywhere
    std::vector<std::string> options;
  } cases[] = {
      {"home", {}, "home/.cache/zarn", {}},
      {"xdg", {{"XDG_CACHE_HOME", (dir / "xdg").string()}}, "xdg/zarn", {}},
      {"relative xdg", {{"XDG_CACHE_HOME", "xdg"}}, "home/.cache/zarn", {}},
      {"zarn", {{"ZARN_CACHE_DIR", (dir / "c").string()}, {"XDG_CACHE_HOME", "/x"}}, "c", {}},
      {"no cache", {{"ZARN_CACHE_DIR", (dir / "c").string()}}, "", {"--no-cache"}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    for (const std::string folder : {"home", "xdg", "c", "project"}) fs::remove_all(dir / folder);
    fs::create_directories(home());
    const ZarnRun where = run_zarn(zarn({"cache", "dir"}, test.environment));
    if (!test.folder.empty()) {
      EXPECT_EQ(where.out, (dir / test.folder).string() + "\n");
    }
    EXPECT_EQ(run_zarn(sync("project", test.options, test.environment)).exit_status, 0);
    for (const fs::path folder : {"home/.cache/zarn", "xdg/zarn", "c"}) {
      EXPECT_EQ(fs::exists(dir / folder), folder == test.folder) << folder;
    }
    if (test.folder.empty()) continue;
    EXPECT_EQ(fs::status(dir / test.folder).permissions(), fs::perms::owner_all);
    EXPECT_EQ(cache::cache_usage(dir / test.folder).archives, 2u);
  }
}

TEST_F(CacheCommandTest, TwoSyncsFillOneCacheAtOnce) {
  server.set_latency(50);
  {
    ZarnChild one(sync("one"));
    ZarnChild two(sync("two"));
    EXPECT_EQ(one.wait(), 0);
    EXPECT_EQ(two.wait(), 0);
  }
  for (const std::string project : {"one", "two"}) {
    EXPECT_EQ(fs::file_size(jars(project) / "postgresql-42.7.4.jar"), 300000u);
    EXPECT_EQ(fs::file_size(jars(project) / "mysql-connector-j-9.1.0.jar"), 200000u);
  }
  const auto verified = cache::verify_cache(cache(), {});
  EXPECT_EQ(verified.checked, 2u);
  EXPECT_TRUE(verified.dropped.empty());
  for (const auto& entry : fs::recursive_directory_iterator(cache())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
  }
}

TEST_F(CacheCommandTest, CleanWaitsForARunningSync) {
  server.set_latency(300);
  write_file(cache() / "notes" / "mine.txt", "not the cache's");  // left alone
  ZarnChild running(sync("one"));
  for (int i = 0; i < 600 && server.total_requests() == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_GT(server.total_requests(), 0);  // the sync holds the cache now
  const ZarnRun clean = run_zarn(zarn({"cache", "clean", "--json"}));
  EXPECT_EQ(running.wait(), 0);
  EXPECT_EQ(clean.exit_status, 0) << clean.err;
  // Had it not waited, it would have found the cache empty.
  EXPECT_EQ(clean.out, "{\"folder\": \"" + cache().string() +
                           "\", \"entries\": 2, \"archives\": 2, \"descriptors\": 0, "
                           "\"bytes\": 500096}\n");
  EXPECT_EQ(fs::file_size(jars("one") / "postgresql-42.7.4.jar"), 300000u);
  EXPECT_EQ(read_file(cache() / "notes" / "mine.txt"), "not the cache's");
  EXPECT_FALSE(fs::exists(cache() / "org"));
}

TEST_F(CacheCommandTest, VerifyDropsAnEntryChangedInPlace) {
  ASSERT_EQ(run_zarn(sync("one")).exit_status, 0);
  const fs::path entry = cache() / kPostgresEntry;
  fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add);
  write_file(entry, std::string(300000, 'x'));  // through the link: the project's file too
  EXPECT_EQ(run_zarn(zarn({"cache", "size"})).out,
            "Holds 2 entries (2 archives, 0 descriptors), 0.5 MB, in " + cache().string() + "\n");

  const ZarnRun verify = run_zarn(zarn({"cache", "verify", "--json"}));
  EXPECT_EQ(verify.exit_status, 0);
  EXPECT_EQ(verify.out, "{\"folder\": \"" + cache().string() +
                            "\", \"checked\": 2, \"dropped\": [\n  {\"path\": \"" + kPostgresEntry +
                            "\", \"reason\": \"checksum mismatch\"}\n]}\n");
  const int before = server.total_requests();
  ASSERT_EQ(run_zarn(sync("two")).exit_status, 0);
  EXPECT_EQ(server.total_requests(), before + 2);  // the archive and its checksum
  EXPECT_EQ(read_file(jars("two") / "postgresql-42.7.4.jar"),
            read_file(server.root() / "org" / "postgresql" / "postgresql" / "42.7.4" /
                      "postgresql-42.7.4.jar"));
}

}  // namespace
}  // namespace zarn::testing
