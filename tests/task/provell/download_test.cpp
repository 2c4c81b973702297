#include <sys/stat.h>

#include <algorithm>
#include <functional>

#include "os/atomic_file.h"
#include "support/temp_dir.h"
#include "task/provell/maven_fixture.h"
#include "task/provell/outcome_lists.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;
using testing::jar_of;
using testing::MavenServer;
using testing::PomDep;
using Names = std::vector<std::string>;

const std::string kPostgres = "org.postgresql:postgresql:42.7.4";
const std::string kMysql = "com.mysql:mysql-connector-j:9.1.0";

Names folder_entries(const fs::path& folder) {
  Names names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

using DownloadTest = MavenTest;

TEST_F(DownloadTest, DownloadsTheDriversInCoordinateOrder) {
  server.add_jar(kPostgres, 1000);
  server.add_jar(kMysql, 5 * 1024 * 1024 / 2);
  const auto [downloaded, failed] =
      lists(task().download_jdbc_jars({"postgres", "mysql", "greenplum"}));
  EXPECT_EQ(downloaded, (Names{"mysql-connector-j-9.1.0.jar", "postgresql-42.7.4.jar"}));
  EXPECT_EQ(failed, Names{});
  EXPECT_EQ(printed(),
            "\n  Resolving JDBC dependencies...\n"
            "    Direct dependencies: 2\n"
            "    Total JARs to download: 2\n"
            "\n  Downloading to " +
                jars().string() +
                "/\n"
                "      Downloading mysql-connector-j-9.1.0.jar...\n"
                "        ✓ Downloaded (2.5 MB)\n"
                "      Downloading postgresql-42.7.4.jar...\n"
                "        ✓ Downloaded (0.0 MB)\n");
  EXPECT_EQ(fs::file_size(jars() / "mysql-connector-j-9.1.0.jar"), 5u * 1024 * 1024 / 2);
  EXPECT_EQ(server.requests(jar_of(kPostgres)), 1);
  EXPECT_EQ(server.total_requests(), 4);  // each archive and its checksum
}

TEST_F(DownloadTest, OnlyANonEmptyFileUnderTheArchivesNameIsCached) {
  const fs::path jar = jars() / "postgresql-42.7.4.jar";
  const struct {
    std::string name;
    std::function<void()> put;
    std::string line;  ///< after the name
  } cases[] = {
      {"an archive", [&] { testing::write_file(jar, "PK"); }, " (cached)"},
      {"a link to an archive",
       [&] {
         testing::write_file(dir / "store.jar", "PK");
         fs::create_symlink(dir / "store.jar", jar);
       },
       " (cached)"},
      {"an empty file", [&] { testing::write_file(jar, ""); }, "...\n        ✓ Downloaded"},
      {"a dangling link", [&] { fs::create_symlink(dir / "gone.jar", jar); },
       "...\n        ✓ Downloaded"},
      {"a folder", [&] { fs::create_directories(jar); }, ": " + jar.string() + " is a folder"},
      {"a link to a folder", [&] { fs::create_symlink(dir.path(), jar); },
       ": " + jar.string() + " is a link"},
  };
  server.add_jar(kPostgres);
  for (const auto& test : cases) {
    fs::remove_all(jars());
    fs::remove_all(dir / "home" / ".cache");  // the driver cache would serve the archive
    fs::create_directories(jars());
    test.put();
    const int before = server.total_requests();
    const auto [downloaded, failed] = lists(task().download_jdbc_jars({"postgres"}));
    const std::string text = printed();
    const bool in_the_way = test.line.starts_with(":");
    if (in_the_way) {
      EXPECT_NE(text.find("      ✗ Error with " + kPostgres + test.line), std::string::npos)
          << test.name << text;
      EXPECT_EQ(failed, Names{kPostgres}) << test.name;
    } else {
      EXPECT_NE(text.find("postgresql-42.7.4.jar" + test.line), std::string::npos)
          << test.name << text;
      EXPECT_EQ(downloaded, Names{"postgresql-42.7.4.jar"}) << test.name;
    }
    const bool fetched = test.line.starts_with("...");
    EXPECT_EQ(server.total_requests() - before, fetched ? 2 : 0) << test.name;
    if (fetched) {
      EXPECT_EQ(fs::file_size(jar), 1000u) << test.name;
    }
  }
}

TEST_F(DownloadTest, AnArchiveWithoutChecksumMustBeAZipArchive) {
  const std::string mysql_jar = jar_of(kMysql);
  server.fail_with(jar_of(kPostgres) + ".sha1", 404);
  server.fail_with(mysql_jar + ".sha1", 404);
  server.add_file(jar_of(kPostgres).substr(8), std::string("PK\x03\x04", 4) + "entries");
  server.add_file(mysql_jar.substr(8), "<html>Sign in</html>");
  const auto [downloaded, failed] = lists(task().download_jdbc_jars({"postgres", "mysql"}));
  EXPECT_EQ(downloaded, Names{"postgresql-42.7.4.jar"});
  EXPECT_EQ(failed, Names{"mysql-connector-j-9.1.0.jar"});
  EXPECT_NE(printed().find("        ✗ Failed: not an archive (it does not begin like one), and the "
                           "repository has no checksum for it\n"),
            std::string::npos);
  EXPECT_EQ(folder_entries(jars()), Names{"postgresql-42.7.4.jar"});
}

TEST_F(DownloadTest, TwoCoordinatesNeverShareAnArchiveName) {
  const std::string hive = "org.apache.hive:hive-jdbc:3.1.3";
  const std::string lookalike = "aaa.evil:hive-jdbc:3.1.3";
  server.add_pom(hive, std::vector<PomDep>{{"aaa.evil", "hive-jdbc", "3.1.3"},
                                           {"h", "same"},
                                           {"g", "same"},
                                           {"g", "same", "1:extra"}});
  for (const std::string& coord : {hive, lookalike, std::string("g:same:1")}) {
    server.add_jar(coord);
  }
  const auto [downloaded, failed] = lists(task().download_jdbc_jars({"hive"}));
  EXPECT_EQ(downloaded, (Names{"same-1.jar", "same-1.jar", "hive-jdbc-3.1.3.jar"}));
  EXPECT_EQ(failed, (Names{lookalike, "h:same:1"}));
  const std::string text = printed();
  for (const std::string& line :
       {"      ✗ Error with " + lookalike +
            ": archive name hive-jdbc-3.1.3.jar is already used by " + hive + "\n",
        std::string("      ✗ Error with h:same:1: archive name same-1.jar is already used by "
                    "g:same:1\n")}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(server.requests(jar_of(lookalike)), 0);
  EXPECT_EQ(server.requests(jar_of(hive)), 1);
}

TEST_F(DownloadTest, TypesWithoutDriversNeedNothing) {
  const auto [downloaded, failed] =
      lists(task().download_jdbc_jars({"spark", "athena", "Postgres"}));
  EXPECT_TRUE(downloaded.empty() && failed.empty());
  EXPECT_EQ(printed(), "\n  No JDBC JARs needed for these adapters\n");
  EXPECT_TRUE(fs::is_directory(jars()));
}

TEST_F(DownloadTest, FailuresAreListedAndLeaveNoFileBehind) {
  const std::string hive = "org.apache.hive:hive-jdbc:3.1.3";
  const std::string long_version(300, '9');
  server.add_pom(
      hive,
      std::vector<PomDep>{
          {"g", "missing"}, {"g", "../../escape"}, {"g", "cut"}, {"g", "long", long_version}});
  server.add_jar(hive);
  server.add_jar("g:cut:1", 100000);
  server.cut_after(jar_of("g:cut:1"), 5000);

  const auto [downloaded, failed] = lists(task().download_jdbc_jars({"hive"}, true));
  EXPECT_EQ(downloaded, Names{"hive-jdbc-3.1.3.jar"});
  EXPECT_EQ(failed,
            (Names{"g:../../escape:1", "cut-1.jar", "g:long:" + long_version, "missing-1.jar"}));
  const std::string text = printed();
  EXPECT_NE(text.find("    Transitive dependencies: 4\n    Total JARs to download: 5\n"),
            std::string::npos);
  EXPECT_NE(text.find("      ✗ Error with g:../../escape:1: Invalid Maven coordinate: "
                      "g:../../escape:1\n"),
            std::string::npos);
  EXPECT_NE(text.find("      Downloading missing-1.jar...\n"
                      "        ✗ Failed: HTTP Error 404: Not Found\n"),
            std::string::npos);
  EXPECT_NE(text.find("      ✗ Error with g:long:" + long_version + ": cannot check "),
            std::string::npos);
  EXPECT_EQ(folder_entries(jars()), Names{"hive-jdbc-3.1.3.jar"});
  EXPECT_FALSE(fs::exists(project() / "escape-1.jar"));
  EXPECT_FALSE(fs::exists(dir / "escape-1.jar"));
}

TEST_F(DownloadTest, TemporaryFilesOfAKilledRunAreRemoved) {
  testing::write_file(jars() / ".postgresql-42.7.4.jar.zarn-tmp-Ab12Cd", "partial");
  testing::write_file(jars() / "keep.txt", "mine");
  server.add_jar(kPostgres);
  task().download_jdbc_jars({"postgres"}, false);
  EXPECT_EQ(folder_entries(jars()), (Names{"keep.txt", "postgresql-42.7.4.jar"}));
}

TEST_F(DownloadTest, TemporaryFilesOfASyncStillRunningAreLeftAlone) {
  fs::create_directories(jars());
  os::AtomicFile other(jars() / "postgresql-42.7.4.jar");  // a writer that is alive
  other.write("being written");
  server.add_jar(kPostgres);
  task().download_jdbc_jars({"postgres"}, false);
  EXPECT_TRUE(fs::exists(other.temporary_path()));
}

TEST_F(DownloadTest, NetrcLoginsGoToTheRepositoryHostOnly) {
  const fs::path netrc = dir / "home" / ".netrc";
  const std::string postgres = jar_of(kPostgres);
  const std::string moved = jar_of("g:moved:1");
  server.add_jar(kPostgres);
  const std::string elsewhere = "http://localhost:" + std::to_string(server.port()) + moved;
  server.redirect(jar_of(kMysql), elsewhere);
  server.redirect(jar_of(kMysql) + ".sha1", elsewhere + ".sha1");
  server.add_file(moved.substr(8) + ".sha1",
                  testing::read_file(server.root() / (postgres.substr(8) + ".sha1")));
  server.add_file(moved.substr(8), testing::read_file(server.root() / postgres.substr(8)));
  testing::write_file(netrc, "default login ann password s3cret\n");
  fs::permissions(netrc, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

  const auto [downloaded, failed] = lists(task().download_jdbc_jars({"postgres", "mysql"}));
  EXPECT_EQ(failed, Names{});
  EXPECT_EQ(server.authorization_of(postgres), "Basic YW5uOnMzY3JldA==");  // ann:s3cret
  EXPECT_EQ(server.authorization_of(jar_of(kMysql)), "Basic YW5uOnMzY3JldA==");
  EXPECT_EQ(server.authorization_of(moved), "");  // the redirect's other host
  EXPECT_EQ(printed().find("s3cret"), std::string::npos);
  EXPECT_EQ(err.str(), "zarn: ⚠ " + netrc.string() +
                           " can be read by others than its owner; its passwords are used all "
                           "the same (chmod 600 it)\n");

  fs::remove(netrc);
  ASSERT_EQ(::mkfifo(netrc.c_str(), 0600), 0);  // never opened for a writer that never comes
  fs::remove_all(jars());
  fs::remove_all(dir / "home" / ".cache");  // fetched again, not taken from the driver cache
  make_task();
  EXPECT_EQ(lists(task().download_jdbc_jars({"postgres"})).second, Names{});
  EXPECT_EQ(server.authorization_of(postgres), "");
}

using UpdateTest = MavenTest;

TEST_F(UpdateTest, ListsTheArchivesOfTheDriverFolder) {
  EXPECT_FALSE(task().update_jdbc_jars());
  EXPECT_EQ(printed(), "\n  No JDBC JARs downloaded\n");
  for (const char* name : {"b.jar", "a.jar", "notes.txt", ".a.jar.zarn-tmp-x1y2z3"}) {
    testing::write_file(jars() / name, "PK");
  }
  testing::write_file(jars() / "empty.jar", "");  // none of these is an archive
  fs::create_directories(jars() / "folder.jar");
  fs::create_symlink("gone.jar", jars() / "dangling.jar");
  EXPECT_TRUE(task().update_jdbc_jars());
  EXPECT_EQ(printed(),
            "\n  JDBC JARs downloaded (2):\n    - a.jar\n    - b.jar\n\n"
            "  ✓ JARs stored in: " +
                jars().string() +
                "\n"
                "    (Spark discovers JARs at runtime - portable across folder moves)\n");
}

TEST_F(UpdateTest, RemovesOldArchiveSettingsFromTheLocalSparkCompute) {
  const std::string cleaned =
      "\n  ✓ Cleaned up old spark.jars config (now uses runtime discovery)\n";
  const struct {
    std::string name;
    std::string registry;
    bool saved;
  } cases[] = {
      {"both settings",
       "spark-local:\n  config:\n    spark.jars: a.jar\n    spark.jars.packages: g:a:1\n"
       "    spark.master: local\n",
       true},
      {"packages only", "spark-local:\n  config:\n    spark.jars.packages: g:a:1\n", true},
      {"neither", "spark-local:\n  config:\n    spark.master: local\n", false},
      {"no spark-local entry", "other:\n  config:\n    spark.jars: a.jar\n", false},
  };
  for (const auto& test : cases) {
    const fs::path registry = project() / ".zarn" / "computes.yml";
    testing::write_file(registry, test.registry);
    make_task();
    EXPECT_FALSE(task().update_jdbc_jars(true)) << test.name;
    const std::string text = printed();
    const std::string stored = testing::read_file(registry);
    EXPECT_EQ(text.find(cleaned) != std::string::npos, test.saved) << test.name;
    EXPECT_EQ(stored != test.registry, test.saved) << test.name;
    if (test.saved) {
      EXPECT_EQ(stored.find("spark.jars"), std::string::npos) << test.name;
      EXPECT_EQ(stored.find("spark.master") != std::string::npos,
                test.registry.find("spark.master") != std::string::npos)
          << test.name;
    }
  }
}

}  // namespace
}  // namespace zarn::provell
