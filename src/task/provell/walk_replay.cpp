#include "task/provell/walk_replay.h"

#include <algorithm>
#include <array>

#include "task/provell/coordinates.h"

namespace zarn::provell {
namespace {

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

}  // namespace

bool is_self_contained(std::string_view artifact_id) {
  return std::find(kSelfContainedDrivers.begin(), kSelfContainedDrivers.end(), artifact_id) !=
         kSelfContainedDrivers.end();
}

bool WalkReplay::readable(const std::string& coord) {
  const auto parts = split_coordinate(coord);
  return parts.size() >= 3 && !is_self_contained(parts[1]);
}

void WalkReplay::add_walk(const std::string& coord, std::set<std::string> resolved, int depth) {
  // A walk's own coordinate is visited unless taken already or too deep.
  if (depth <= kMaxDepth && !resolved.contains(coord) && readable(coord)) source_.want(coord);
  walks_.push_back(Walk{coord, std::move(resolved), depth});
}

void WalkReplay::advance() {
  if (advancing_) return;  // a descriptor came from the cache while advancing
  advancing_ = true;
  while (!stopped_) {
    if (steps_.empty()) {
      if (walks_.empty()) break;
      Walk walk = std::move(walks_.front());
      walks_.pop_front();
      resolved_ = std::move(walk.resolved);
      steps_.push_back(Step{std::move(walk.coord), walk.depth});
      continue;
    }
    const Step step = steps_.back();
    if (split_coordinate(step.coord).size() < 3 || resolved_.contains(step.coord) ||
        step.depth > kMaxDepth) {
      steps_.pop_back();
      continue;
    }
    const std::vector<std::string>* children = nullptr;
    // At the last level the walk reads the descriptor but keeps nothing of
    // it, so the walk's order cannot depend on it: no need to wait.
    if (readable(step.coord) && source_.want(step.coord) && step.depth < kMaxDepth) {
      children = source_.ready(step.coord);
      if (children == nullptr) break;  // goes on when it arrives
    }
    steps_.pop_back();
    resolved_.insert(step.coord);
    if (children != nullptr && !expand(step, *children)) stopped_ = true;
  }
  advancing_ = false;
}

bool WalkReplay::expand(const Step& step, const std::vector<std::string>& children) {
  std::set<std::string_view> fresh;
  for (const std::string& child : children) {
    if (!resolved_.contains(child)) fresh.insert(child);
  }
  if (resolved_.size() + fresh.size() > max_archives_) return false;
  // Every dependency of an expanded descriptor is visited, here or earlier.
  for (const std::string& child : children) {
    if (!resolved_.contains(child) && readable(child)) source_.want(child);
  }
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    steps_.push_back(Step{*child, step.depth + 1});
  }
  return true;
}

}  // namespace zarn::provell
