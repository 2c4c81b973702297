#include "task/provell/catalogue.h"

#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zarn::provell {
namespace {

using Types = std::set<std::string_view>;

/// The types whose value in the catalogue is exactly value.
Types types_with(std::span<const CatalogueEntry> catalogue, std::string_view value) {
  Types types;
  for (const CatalogueEntry& entry : catalogue) {
    if (entry.value == value) types.insert(entry.adapter_type);
  }
  return types;
}

Types keys(std::span<const CatalogueEntry> catalogue) {
  Types result;
  for (const CatalogueEntry& entry : catalogue) result.insert(entry.adapter_type);
  return result;
}

Types missing_from(std::span<const CatalogueEntry> catalogue) {
  Types result;
  for (std::string_view type : keys(ADAPTER_PACKAGE_MAPPING)) {
    if (!lookup(catalogue, type)) result.insert(type);
  }
  return result;
}

TEST(Catalogues, RelateAsTheOtherPartsOfTheTaskExpect) {
  // Counted as distinct keys, so a repeated row shows too.
  EXPECT_EQ(keys(ADAPTER_PACKAGE_MAPPING).size(), 34u);
  EXPECT_EQ(keys(ADAPTER_JDBC_MAPPING).size(), 30u);
  EXPECT_EQ(keys(adapter_modules).size(), 29u);
  std::set<std::string_view> packages;
  for (const CatalogueEntry& entry : ADAPTER_PACKAGE_MAPPING) packages.insert(entry.value);
  EXPECT_EQ(packages.size(), 32u);
  EXPECT_EQ(types_with(ADAPTER_PACKAGE_MAPPING, "pelk-mysql"), (Types{"mariadb", "mysql"}));
  EXPECT_EQ(types_with(ADAPTER_PACKAGE_MAPPING, "pelk-postgres"),
            (Types{"postgres", "timescaledb"}));
  EXPECT_EQ(types_with(ADAPTER_JDBC_MAPPING, "org.postgresql:postgresql:42.7.4"),
            (Types{"greenplum", "materialize", "postgres", "questdb", "timescaledb"}));
  EXPECT_EQ(types_with(ADAPTER_JDBC_MAPPING, "com.microsoft.sqlserver:mssql-jdbc:12.8.1.jre11"),
            (Types{"fabric", "sqlserver", "synapse"}));
  EXPECT_EQ(types_with(ADAPTER_JDBC_MAPPING, "com.mysql:mysql-connector-j:9.1.0"),
            (Types{"doris", "mysql", "starrocks"}));
  EXPECT_EQ(types_with(adapter_modules, "pelk.adapters.mysql"), (Types{"mariadb", "mysql"}));
  EXPECT_EQ(missing_from(ADAPTER_JDBC_MAPPING), (Types{"athena", "firebolt", "impala", "rockset"}));
  EXPECT_EQ(missing_from(adapter_modules),
            (Types{"db2", "neo4j", "presto", "questdb", "timescaledb"}));
  for (const auto& catalogue : {std::span<const CatalogueEntry>(ADAPTER_JDBC_MAPPING),
                                std::span<const CatalogueEntry>(adapter_modules)}) {
    for (std::string_view type : keys(catalogue)) {
      EXPECT_TRUE(lookup(ADAPTER_PACKAGE_MAPPING, type)) << type;
    }
  }
}

TEST(Catalogues, LookUpByTheExactType) {
  struct Case {
    std::span<const CatalogueEntry> catalogue;
    std::string_view type;
    std::optional<std::string_view> expected;
  };
  const Case cases[] = {
      {ADAPTER_PACKAGE_MAPPING, "athena", "pelk-athena-community"},
      {ADAPTER_PACKAGE_MAPPING, "Postgres", std::nullopt},
      {ADAPTER_PACKAGE_MAPPING, " postgres", std::nullopt},
      {ADAPTER_PACKAGE_MAPPING, "", std::nullopt},
      {ADAPTER_JDBC_MAPPING, "spark", ""},
      {ADAPTER_JDBC_MAPPING, "athena", std::nullopt},
      {ADAPTER_JDBC_MAPPING, "Postgres", std::nullopt},
      {ADAPTER_JDBC_MAPPING, "bigquery",
       "com.google.cloud.bigdataoss:gcs-connector:hadoop3-2.2.22"},
      {ADAPTER_JDBC_MAPPING, "mariadb", "org.mariadb.jdbc:mariadb-java-client:3.4.1"},
      {adapter_modules, "Postgres", std::nullopt},
      {adapter_modules, "mariadb", "pelk.adapters.mysql"},
  };
  for (const Case& c : cases) EXPECT_EQ(lookup(c.catalogue, c.type), c.expected) << c.type;
  static_assert(lookup(ADAPTER_PACKAGE_MAPPING, "timescaledb") == "pelk-postgres");
}

TEST(MavenRepo, DefaultsToCentralAndHonoursTheOverride) {
  struct Case {
    std::map<std::string, std::string> variables;
    std::string expected;
  };
  const Case cases[] = {
      {{}, "https://repo1.maven.org/maven2"},
      {{{"ZARN_MAVEN_REPO", ""}}, "https://repo1.maven.org/maven2"},
      {{{"ZARN_MAVEN_REPO", "http://127.0.0.1:8080/m2/"}}, "http://127.0.0.1:8080/m2"},
      {{{"ZARN_MAVEN_REPO", "http://mirror//"}}, "http://mirror"},
      {{{"ZARN_MAVEN_REPO", "/"}}, "https://repo1.maven.org/maven2"},
  };
  for (const Case& c : cases) EXPECT_EQ(maven_repo(os::Environment(c.variables)), c.expected);
  EXPECT_EQ(MAVEN_REPO, "https://repo1.maven.org/maven2");
}

TEST(GetZarnDir, CreatesHomeZarnOnceAndFailsWhenBlocked) {
  testing::TempDir dir;
  const os::Environment environment({{"HOME", (dir / "a/b").string()}});
  EXPECT_EQ(get_zarn_dir(environment), dir / "a/b/.zarn");
  EXPECT_EQ(get_zarn_dir(environment), dir / "a/b/.zarn");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/.zarn"));

  testing::write_file(dir / "blocked/.zarn", "");
  EXPECT_THROW(get_zarn_dir(os::Environment({{"HOME", (dir / "blocked").string()}})),
               std::runtime_error);
}

}  // namespace
}  // namespace zarn::provell
