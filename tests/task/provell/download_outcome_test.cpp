// What the driver download decides, against a repository without a server:
// which files it asks for, and what it records for each archive.

#include <gtest/gtest.h>

#include "support/fake_host.h"
#include "support/fake_transfer_engine.h"
#include "support/temp_dir.h"
#include "task/provell/download.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRepo = "https://repo.test/m2";

TEST(DriverDownloads, RecordEachFailureWithItsItemAndReason) {
  testing::TempDir dir;
  testing::FakeHost host(dir / "home", {{"ZARN_MAVEN_REPO", kRepo}});
  testing::FakeRepository repository;
  const std::string hive = std::string(kRepo) + "/org/apache/hive/hive-jdbc/3.1.3/hive-jdbc-3.1.3";
  const std::string mysql =
      std::string(kRepo) + "/com/mysql/mysql-connector-j/9.1.0/mysql-connector-j-9.1.0";
  repository.put_archive(hive + ".jar", "hive");  // no descriptor: the driver alone
  const fs::path folder = dir / "jars";
  fs::create_directories(folder / "postgresql-42.7.4.jar");  // in the archive's way

  TransferSettings settings;
  settings.jobs = 1;
  settings.cache = CacheUse::kOff;
  settings.open_engine = repository.opener();
  Transfers transfers(host, settings);
  const DriverDownloads result =
      download_drivers(transfers, Output(host, false), folder, {"hive", "mysql", "postgres"});

  EXPECT_EQ(result.outcome.done, std::vector<std::string>{"hive-jdbc-3.1.3.jar"});
  ASSERT_EQ(result.outcome.failures.size(), 2u);
  // A transfer that failed names its archive; a coordinate that failed before one, itself.
  EXPECT_EQ(result.outcome.failures[0].item, "mysql-connector-j-9.1.0.jar");
  EXPECT_NE(result.outcome.failures[0].reason.find("404"), std::string::npos);
  EXPECT_EQ(result.outcome.failures[1].item, "org.postgresql:postgresql:42.7.4");
  EXPECT_NE(result.outcome.failures[1].reason.find("is a folder"), std::string::npos);
  // One file at a time: the one descriptor to read, then each archive with
  // its checksum in coordinate order; nothing for the archive in the way.
  EXPECT_EQ(repository.requests,
            (std::vector<std::string>{hive + ".pom", mysql + ".jar", mysql + ".jar.sha1",
                                      hive + ".jar", hive + ".jar.sha1"}));
  EXPECT_EQ(host.lines, std::vector<std::string>{});  // quiet
}

}  // namespace
}  // namespace zarn::provell
