// Maven coordinates to repository addresses, and their expansion with the
// run-time dependencies listed in the drivers' POM descriptors.

#include <algorithm>
#include <array>
#include <chrono>
#include <stdexcept>
#include <string_view>

#include "host/http_client.h"
#include "task/provell/catalogue.h"
#include "task/provell/pom.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

constexpr std::chrono::seconds kDescriptorTimeout{10};
/// Dependencies are kept down to three levels below the driver.
constexpr int kMaxDepth = 3;

/// Drivers shipped as one archive: their descriptors are never read.
constexpr std::array<std::string_view, 19> kSelfContainedDrivers{
    "postgresql",
    "snowflake-jdbc",
    "mysql-connector-j",
    "mssql-jdbc",
    "ojdbc11",
    "terajdbc",
    "clickhouse-jdbc",
    "sqlite-jdbc",
    "mariadb-java-client",
    "exasol-jdbc",
    "jcc",
    "trino-jdbc",
    "presto-jdbc",
    "duckdb_jdbc",
    "databricks-jdbc",
    "redshift-jdbc42",
    "singlestore-jdbc-client",
    "neo4j-jdbc-driver",
    "vertica-jdbc",
};

std::vector<std::string> split_coordinate(const std::string& coord) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto colon = coord.find(':', start);
    parts.push_back(coord.substr(start, colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

bool is_self_contained(std::string_view artifact_id) {
  return std::find(kSelfContainedDrivers.begin(), kSelfContainedDrivers.end(), artifact_id) !=
         kSelfContainedDrivers.end();
}

/// Whether a dependency is needed at run time and names its version.
bool is_followed(const PomDependency& dependency) {
  if (dependency.scope && (*dependency.scope == "test" || *dependency.scope == "provided")) {
    return false;
  }
  if (dependency.optional && *dependency.optional == "true") return false;
  return dependency.group_id && dependency.artifact_id && dependency.version;
}

std::string descriptor_url(const std::string& archive_url) {
  return archive_url.substr(0, archive_url.size() - std::string_view(".jar").size()) + ".pom";
}

}  // namespace

std::pair<std::string, std::string> ProvellTask::_maven_coord_to_url(
    const std::string& coord) const {
  const auto parts = split_coordinate(coord);
  if (parts.size() < 3) throw std::invalid_argument("Invalid Maven coordinate: " + coord);
  const std::string& artifact_id = parts[1];
  const std::string& version = parts[2];
  std::string jar_name = artifact_id + "-" + version + ".jar";
  // The archive name becomes a file name in the driver folder: a descriptor
  // must not be able to steer the download elsewhere.
  if (jar_name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos) {
    throw std::invalid_argument("Invalid Maven coordinate: " + coord);
  }
  std::string group_path = parts[0];
  std::replace(group_path.begin(), group_path.end(), '.', '/');
  std::string url = maven_repo(host_.environment()) + "/" + group_path + "/" + artifact_id + "/" +
                    version + "/" + jar_name;
  return {std::move(url), std::move(jar_name)};
}

std::set<std::string> ProvellTask::_resolve_transitive_deps(const std::string& coord) {
  std::set<std::string> resolved;
  _resolve_transitive_deps(coord, resolved, 0);
  return resolved;
}

void ProvellTask::_resolve_transitive_deps(const std::string& coord,
                                           std::set<std::string>& resolved, int depth) {
  const auto parts = split_coordinate(coord);
  if (parts.size() < 3) return;
  if (resolved.contains(coord) || depth > kMaxDepth) return;
  // Recorded before any request: a coordinate whose descriptor cannot be had
  // is still downloaded, and a cycle stops at its second visit.
  resolved.insert(coord);
  if (is_self_contained(parts[1])) return;

  std::vector<PomDependency> dependencies;
  try {
    const std::string url = descriptor_url(_maven_coord_to_url(coord).first);
    dependencies = parse_pom_dependencies(http().get(url, kDescriptorTimeout));
  } catch (const host::TransferInterrupted&) {
    throw;
  } catch (const std::exception&) {
    return;  // an unreadable descriptor only ends its own expansion
  }
  for (const PomDependency& dependency : dependencies) {
    if (!is_followed(dependency)) continue;
    _resolve_transitive_deps(
        *dependency.group_id + ":" + *dependency.artifact_id + ":" + *dependency.version, resolved,
        depth + 1);
  }
}

host::HttpClient& ProvellTask::http() {
  if (!http_) {
    http_ = std::make_unique<host::HttpClient>([this] { return host_.pending_interrupt(); });
  }
  return *http_;
}

}  // namespace zarn::provell
