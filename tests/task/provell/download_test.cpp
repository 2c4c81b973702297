#include <algorithm>

#include "host/atomic_file.h"
#include "support/temp_dir.h"
#include "task/provell/maven_fixture.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;
using testing::MavenServer;
using testing::PomDep;
using Names = std::vector<std::string>;

const std::string kPostgres = "org.postgresql:postgresql:42.7.4";
const std::string kMysql = "com.mysql:mysql-connector-j:9.1.0";

std::string jar_of(const std::string& coord) {
  return MavenServer::path_of(coord, "jar");
}

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
  const auto [downloaded, failed] = task().download_jdbc_jars({"postgres", "mysql", "greenplum"});
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

TEST_F(DownloadTest, ArchivesAlreadyPresentAreNotRequested) {
  testing::write_file(jars() / "postgresql-42.7.4.jar", "");
  const auto [downloaded, failed] = task().download_jdbc_jars({"postgres"});
  EXPECT_EQ(downloaded, Names{"postgresql-42.7.4.jar"});
  EXPECT_NE(printed().find("\n      postgresql-42.7.4.jar (cached)\n"), std::string::npos);
  EXPECT_EQ(server.total_requests(), 0);
}

TEST_F(DownloadTest, TypesWithoutDriversNeedNothing) {
  const auto [downloaded, failed] = task().download_jdbc_jars({"spark", "athena", "Postgres"});
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

  const auto [downloaded, failed] = task().download_jdbc_jars({"hive"}, true);
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
  host::AtomicFile other(jars() / "postgresql-42.7.4.jar");  // a writer that is alive
  other.write("being written");
  server.add_jar(kPostgres);
  task().download_jdbc_jars({"postgres"}, false);
  EXPECT_TRUE(fs::exists(other.temporary_path()));
}

TEST_F(DownloadTest, NetrcCredentialsReachTheMirrorButNeverTheReport) {
  testing::write_file(dir / "home" / ".netrc", "machine 127.0.0.1 login ann password s3cret\n");
  server.fail_with(jar_of(kPostgres), 401);
  task().download_jdbc_jars({"postgres"});
  EXPECT_EQ(server.last_authorization(), "Basic YW5uOnMzY3JldA==");  // ann:s3cret
  const std::string text = printed();
  EXPECT_NE(text.find("✗ Failed: HTTP Error 401: Unauthorized"), std::string::npos);
  EXPECT_EQ(text.find("s3cret"), std::string::npos);
  EXPECT_EQ(text.find("YW5u"), std::string::npos);
}

using UpdateTest = MavenTest;

TEST_F(UpdateTest, ListsTheArchivesOfTheDriverFolder) {
  EXPECT_FALSE(task().update_jdbc_jars({}));
  EXPECT_EQ(printed(), "\n  No JDBC JARs downloaded\n");
  for (const char* name : {"b.jar", "a.jar", "notes.txt", ".a.jar.zarn-tmp-x1y2z3"}) {
    testing::write_file(jars() / name, "");
  }
  EXPECT_TRUE(task().update_jdbc_jars({}));
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
    EXPECT_FALSE(task().update_jdbc_jars({}, true)) << test.name;
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
