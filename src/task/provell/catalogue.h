#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "os/environment.h"

namespace zarn::provell {

/// One row of a catalogue: an adapter type and what it maps to.
struct CatalogueEntry {
  std::string_view adapter_type;
  std::string_view value;
};

/// Adapter type to the package that provides it.
inline constexpr std::array<CatalogueEntry, 34> ADAPTER_PACKAGE_MAPPING{{
    {"postgres", "pelk-postgres"},
    {"snowflake", "pelk-snowflake"},
    {"bigquery", "pelk-bigquery"},
    {"redshift", "pelk-redshift"},
    {"spark", "pelk-spark"},
    {"databricks", "pelk-databricks"},
    {"trino", "pelk-trino"},
    {"duckdb", "pelk-duckdb"},
    {"mysql", "pelk-mysql"},
    {"sqlserver", "pelk-sqlserver"},
    {"synapse", "pelk-synapse"},
    {"fabric", "pelk-fabric"},
    {"oracle", "pelk-oracle"},
    {"teradata", "pelk-teradata"},
    {"clickhouse", "pelk-clickhouse"},
    {"greenplum", "pelk-greenplum"},
    {"vertica", "pelk-vertica"},
    {"sqlite", "pelk-sqlite"},
    {"mariadb", "pelk-mysql"},
    {"exasol", "pelk-exasol"},
    {"db2", "pelk-db2"},
    {"athena", "pelk-athena-community"},
    {"presto", "pelk-presto"},
    {"hive", "pelk-hive"},
    {"impala", "pelk-impala"},
    {"singlestore", "pelk-singlestore"},
    {"firebolt", "pelk-firebolt"},
    {"starrocks", "pelk-starrocks"},
    {"doris", "pelk-doris"},
    {"materialize", "pelk-materialize"},
    {"rockset", "pelk-rockset"},
    {"questdb", "pelk-questdb"},
    {"neo4j", "pelk-neo4j"},
    {"timescaledb", "pelk-postgres"},
}};

/// Adapter type to the Maven coordinates (group:artifact:version, several
/// separated by ",") of the JDBC drivers Spark needs; empty means none.
inline constexpr std::array<CatalogueEntry, 30> ADAPTER_JDBC_MAPPING{{
    {"postgres", "org.postgresql:postgresql:42.7.4"},
    {"snowflake", "net.snowflake:snowflake-jdbc:3.16.1"},
    {"bigquery", "com.google.cloud.bigdataoss:gcs-connector:hadoop3-2.2.22"},
    {"redshift", "com.amazon.redshift:redshift-jdbc42:2.1.0.32"},
    {"spark", ""},
    {"databricks", "com.databricks:databricks-jdbc:2.6.36"},
    {"trino", "io.trino:trino-jdbc:443"},
    {"duckdb", "org.duckdb:duckdb_jdbc:1.1.3"},
    {"mysql", "com.mysql:mysql-connector-j:9.1.0"},
    {"sqlserver", "com.microsoft.sqlserver:mssql-jdbc:12.8.1.jre11"},
    {"synapse", "com.microsoft.sqlserver:mssql-jdbc:12.8.1.jre11"},
    {"fabric", "com.microsoft.sqlserver:mssql-jdbc:12.8.1.jre11"},
    {"oracle", "com.oracle.database.jdbc:ojdbc11:23.6.0.24.10"},
    {"teradata", "com.teradata.jdbc:terajdbc:20.00.00.20"},
    {"clickhouse", "com.clickhouse:clickhouse-jdbc:0.6.5"},
    {"greenplum", "org.postgresql:postgresql:42.7.4"},
    {"vertica", "com.vertica.jdbc:vertica-jdbc:24.3.0-0"},
    {"sqlite", "org.xerial:sqlite-jdbc:3.47.1.0"},
    {"mariadb", "org.mariadb.jdbc:mariadb-java-client:3.4.1"},
    {"exasol", "com.exasol:exasol-jdbc:24.2.0"},
    {"db2", "com.ibm.db2:jcc:11.5.9.0"},
    {"presto", "io.prestosql:presto-jdbc:350"},
    {"hive", "org.apache.hive:hive-jdbc:3.1.3"},
    {"singlestore", "com.singlestore:singlestore-jdbc-client:1.2.9"},
    {"starrocks", "com.mysql:mysql-connector-j:9.1.0"},
    {"doris", "com.mysql:mysql-connector-j:9.1.0"},
    {"materialize", "org.postgresql:postgresql:42.7.4"},
    {"questdb", "org.postgresql:postgresql:42.7.4"},
    {"neo4j", "org.neo4j:neo4j-jdbc-driver:4.0.10"},
    {"timescaledb", "org.postgresql:postgresql:42.7.4"},
}};

/// Adapter type to the module whose presence shows the adapter is installed.
/// mariadb is served by the mysql adapter, so it shares that module.
inline constexpr std::array<CatalogueEntry, 29> adapter_modules{{
    {"postgres", "pelk.adapters.postgres"},     {"snowflake", "pelk.adapters.snowflake"},
    {"bigquery", "pelk.adapters.bigquery"},     {"redshift", "pelk.adapters.redshift"},
    {"spark", "pelk.adapters.spark"},           {"databricks", "pelk.adapters.databricks"},
    {"trino", "pelk.adapters.trino"},           {"duckdb", "pelk.adapters.duckdb"},
    {"mysql", "pelk.adapters.mysql"},           {"sqlserver", "pelk.adapters.sqlserver"},
    {"synapse", "pelk.adapters.synapse"},       {"fabric", "pelk.adapters.fabric"},
    {"oracle", "pelk.adapters.oracle"},         {"teradata", "pelk.adapters.teradata"},
    {"clickhouse", "pelk.adapters.clickhouse"}, {"greenplum", "pelk.adapters.greenplum"},
    {"vertica", "pelk.adapters.vertica"},       {"sqlite", "pelk.adapters.sqlite"},
    {"mariadb", "pelk.adapters.mysql"},         {"exasol", "pelk.adapters.exasol"},
    {"athena", "pelk.adapters.athena"},         {"hive", "pelk.adapters.hive"},
    {"impala", "pelk.adapters.impala"},         {"singlestore", "pelk.adapters.singlestore"},
    {"firebolt", "pelk.adapters.firebolt"},     {"starrocks", "pelk.adapters.starrocks"},
    {"doris", "pelk.adapters.doris"},           {"materialize", "pelk.adapters.materialize"},
    {"rockset", "pelk.adapters.rockset"},
}};

/// The value for exactly this adapter type (no case folding), or absent.
constexpr std::optional<std::string_view> lookup(std::span<const CatalogueEntry> catalogue,
                                                 std::string_view adapter_type) {
  for (const CatalogueEntry& entry : catalogue) {
    if (entry.adapter_type == adapter_type) return entry.value;
  }
  return std::nullopt;
}

/// Maven Central's maven2 root, without a trailing "/".
inline constexpr std::string_view MAVEN_REPO = "https://repo1.maven.org/maven2";

/// The repository to fetch drivers from: $ZARN_MAVEN_REPO when set and not
/// empty (trailing "/" removed), else MAVEN_REPO.
std::string maven_repo(const os::Environment& environment);

/// Get the ZARN configuration directory (~/.zarn/), creating it and its
/// parents when missing; throws when it cannot be created.
std::filesystem::path get_zarn_dir(const os::Environment& environment);

}  // namespace zarn::provell
