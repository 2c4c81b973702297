// The per-user driver cache as the driver sync uses it: what a second
// project takes from it, offline runs, and entries that changed.

#include <sys/stat.h>

#include "cache/cache_maintenance.h"
#include "host/host.h"
#include "support/temp_dir.h"
#include "task/provell/maven_fixture.h"
#include "task/provell/outcome_lists.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;
using testing::MavenServer;
using testing::PomDep;
using Names = std::vector<std::string>;

const std::string kHive = "org.apache.hive:hive-jdbc:3.1.3";
const std::string kPostgres = "org.postgresql:postgresql:42.7.4";
const std::string kMysql = "com.mysql:mysql-connector-j:9.1.0";
const std::string kHiveJar = "org/apache/hive/hive-jdbc/3.1.3/hive-jdbc-3.1.3.jar";

ino_t inode_of(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_ino;
}

class DriverCacheTest : public MavenTest {
 protected:
  void SetUp() override {
    server.add_pom(kHive, std::vector<PomDep>{{"g", "dep"}, {"g", "snap", "1.0-SNAPSHOT"}});
    server.add_pom("g:dep:1", std::vector<PomDep>{});
    server.add_pom("g:snap:1.0-SNAPSHOT", std::vector<PomDep>{});
    server.add_jar(kHive, 3000);
    server.add_jar("g:dep:1", 2000);
    server.add_jar("g:snap:1.0-SNAPSHOT", 1000);
    server.add_jar(kPostgres, 1500);
  }

  fs::path cache() const { return dir / "home" / ".cache" / "zarn"; }
  fs::path other_jars() const { return dir / "other" / ".zarn" / "jdbc_jars"; }

  /// A download into a second project, with its printed report; the
  /// project's path is spelled as the first project's.
  std::pair<Names, Names> other_project(const std::set<std::string>& types,
                                        CacheUse use = CacheUse::kOn, bool links = true,
                                        std::size_t jobs = 8, host::Host* on = nullptr) {
    TransferSettings other_settings;
    other_settings.cache = use;
    other_settings.link_from_cache = links;
    other_settings.jobs = jobs;
    ProvellTask other(on ? *on : context, (dir / "other").string(), (dir / "profiles").string(),
                      std::nullopt, other_settings);
    return lists(other.download_jdbc_jars(types));
  }

  /// A host like context whose driver cache is folder and repository repo.
  std::unique_ptr<host::ExecutableHost> host_with_cache(const fs::path& folder,
                                                        std::string repo = "") {
    if (repo.empty()) repo = server.repo_url();
    return std::make_unique<host::ExecutableHost>(
        terminal::Printer(out, err, {}),
        os::Environment(std::map<std::string, std::string>{{"HOME", (dir / "home").string()},
                                                           {"ZARN_MAVEN_REPO", repo},
                                                           {"ZARN_CACHE_DIR", folder.string()}}));
  }

  std::string printed_as_first() {
    std::string text = printed();
    const std::string other = other_jars().string();
    for (auto at = text.find(other); at != std::string::npos; at = text.find(other, at)) {
      text.replace(at, other.size(), jars().string());
    }
    return text;
  }
};

TEST_F(DriverCacheTest, ASecondProjectTakesEverythingButSnapshotsFromTheCache) {
  const auto first = lists(task().download_jdbc_jars({"hive", "postgres"}));
  const std::string first_report = printed();
  const int first_requests = server.total_requests();
  EXPECT_EQ(first.second, Names{});
  EXPECT_EQ(fs::status(cache()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(cache() / kHiveJar).permissions(),
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(fs::exists(cache() / "g/snap/1.0-SNAPSHOT"));

  // Copies one at a time: the walk without look-ahead reads the cache too.
  for (const auto& [links, jobs] : {std::pair{true, 8}, std::pair{false, 1}}) {
    SCOPED_TRACE(links ? "links" : "copies");
    const int before = server.total_requests();
    const std::string snapshot = MavenServer::path_of("g:snap:1.0-SNAPSHOT", "jar");
    const int snapshot_before = server.requests(snapshot);
    const auto second = other_project({"hive", "postgres"}, CacheUse::kOn, links, jobs);
    EXPECT_EQ(second, first);
    EXPECT_EQ(printed_as_first(), first_report);  // the report of a downloading run
    // The snapshot's descriptor, archive and checksum, and nothing else.
    EXPECT_EQ(server.total_requests() - before, 3);
    EXPECT_EQ(server.requests(snapshot), snapshot_before + 1);
    for (const std::string& name : first.first) {
      EXPECT_EQ(testing::read_file(other_jars() / name), testing::read_file(jars() / name));
    }
    EXPECT_EQ(inode_of(other_jars() / "hive-jdbc-3.1.3.jar") == inode_of(cache() / kHiveJar),
              links);
    fs::remove_all(dir / "other");
  }
  EXPECT_EQ(first_requests, 11);  // 3 descriptors, 4 archives with their checksums
}

TEST_F(DriverCacheTest, OfflineTakesTheCacheAndNamesWhatIsMissing) {
  task().download_jdbc_jars({"postgres", "hive"});
  printed();
  const int online = server.total_requests();
  const std::string missing = "not in the cache (run without --offline to fetch it)";

  const auto cached = other_project({"postgres"}, CacheUse::kOffline);
  EXPECT_EQ(cached, (std::pair<Names, Names>{{"postgresql-42.7.4.jar"}, {}}));
  printed();
  fs::remove_all(dir / "other");

  // mysql's archive was never fetched; a snapshot, its descriptor too, is never kept.
  const auto partial = other_project({"postgres", "mysql", "hive"}, CacheUse::kOffline);
  EXPECT_EQ(partial.first, (Names{"dep-1.jar", "hive-jdbc-3.1.3.jar", "postgresql-42.7.4.jar"}));
  EXPECT_EQ(partial.second, (Names{"mysql-connector-j-9.1.0.jar", "g:snap:1.0-SNAPSHOT"}));
  const std::string report = printed();
  EXPECT_NE(report.find("      Downloading mysql-connector-j-9.1.0.jar...\n        ✗ Failed: " +
                        missing + "\n"),
            std::string::npos);
  EXPECT_EQ(server.total_requests(), online);

  // Without its descriptor, the dependencies of a driver are unknown: it fails.
  fs::remove_all(dir / "other");
  fs::remove(cache() / "org/apache/hive/hive-jdbc/3.1.3/hive-jdbc-3.1.3.pom");
  const auto blind = other_project({"hive"}, CacheUse::kOffline);
  EXPECT_EQ(blind, (std::pair<Names, Names>{{}, {kHive}}));
  EXPECT_NE(printed().find("      ✗ Error with " + kHive + ": descriptor " + missing + "\n"),
            std::string::npos);
  EXPECT_EQ(server.total_requests(), online);
}

TEST_F(DriverCacheTest, AChangedEntryIsNeverHandedToAProject) {
  task().download_jdbc_jars({"postgres"});
  const fs::path entry = cache() / "org/postgresql/postgresql/42.7.4/postgresql-42.7.4.jar";
  const std::string jar_path = MavenServer::path_of(kPostgres, "jar");
  const std::string good = testing::read_file(entry);
  const struct {
    std::string name;
    std::string content;
    bool found_by_sync;  ///< else only by verify
  } cases[] = {
      {"truncated", good.substr(0, 100), true},
      {"appended to", good + "x", true},
      {"overwritten", std::string(good.size(), 'x'), false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    fs::remove_all(dir / "other");
    fs::remove(entry);  // the project's link keeps the good file
    testing::write_file(entry, test.content);
    const int before = server.requests(jar_path);
    if (!test.found_by_sync) {
      const auto outcome = cache::verify_cache(cache(), {});
      ASSERT_EQ(outcome.dropped.size(), 1u);
      EXPECT_EQ(outcome.dropped[0].reason, "checksum mismatch");
    }
    EXPECT_EQ(other_project({"postgres"}).second, Names{});
    EXPECT_EQ(server.requests(jar_path), before + 1);
    EXPECT_EQ(testing::read_file(other_jars() / "postgresql-42.7.4.jar"), good);
    EXPECT_EQ(testing::read_file(entry), good);
    printed();
  }
  EXPECT_EQ(cache::verify_cache(cache(), {}).dropped.size(), 0u);
}

TEST_F(DriverCacheTest, ACacheOnAnotherFileSystemIsCopiedFrom) {
  struct stat shm {};
  struct stat here {};
  if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &here) != 0 ||
      shm.st_dev == here.st_dev) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const fs::path elsewhere = fs::path("/dev/shm") / dir.path().filename();
  const auto named = host_with_cache(elsewhere);
  ProvellTask(*named, project().string(), (dir / "profiles").string())
      .download_jdbc_jars({"postgres"});
  const int before = server.total_requests();
  EXPECT_EQ(other_project({"postgres"}, CacheUse::kOn, true, 8, named.get()).second, Names{});
  EXPECT_EQ(server.total_requests(), before);
  const fs::path copy = other_jars() / "postgresql-42.7.4.jar";
  EXPECT_EQ(fs::hard_link_count(copy), 1u);
  EXPECT_EQ(testing::read_file(copy), testing::read_file(jars() / "postgresql-42.7.4.jar"));
  fs::remove_all(elsewhere);
}

TEST_F(DriverCacheTest, NoCacheNeitherReadsNorFills) {
  settings.cache = CacheUse::kOff;
  make_task();
  task().download_jdbc_jars({"postgres"});
  EXPECT_FALSE(fs::exists(cache()));
  task().download_jdbc_jars({"postgres"});  // in the project now
  testing::TempDir other_cache;
  const auto named = host_with_cache(other_cache.path());
  other_project({"postgres"}, CacheUse::kOn, true, 8, named.get());  // fills the named cache
  const int before = server.total_requests();
  fs::remove_all(dir / "other");
  other_project({"postgres"}, CacheUse::kOff, true, 8, named.get());
  EXPECT_EQ(server.total_requests(), before + 2);
  EXPECT_EQ(cache::cache_usage(other_cache.path()).archives, 1u);
  EXPECT_FALSE(fs::exists(cache()));
}

TEST_F(DriverCacheTest, AMissingDescriptorIsRememberedForItsRepositoryOnly) {
  const std::string pom = MavenServer::path_of("g:nopom:1", "pom");
  for (int run = 0; run < 2; ++run) task()._resolve_transitive_deps("g:nopom:1");
  EXPECT_EQ(server.requests(pom), 1);

  // The same server under another address counts as another repository.
  std::string other_repo = server.repo_url();
  other_repo.replace(other_repo.find("127.0.0.1"), 9, "localhost");
  const auto elsewhere = host_with_cache(cache(), other_repo);
  ProvellTask other(*elsewhere, (dir / "other").string(), (dir / "profiles").string());
  other._resolve_transitive_deps("g:nopom:1");
  EXPECT_EQ(server.requests(pom), 2);
}

}  // namespace
}  // namespace zarn::provell
