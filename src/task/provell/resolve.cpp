// The expansion of driver coordinates with the run-time dependencies listed
// in their POM descriptors.

#include "task/provell/resolve.h"

#include <fmt/format.h>

#include <stdexcept>
#include <string_view>

#include "os/interrupt.h"
#include "task/provell/coordinates.h"
#include "task/provell/sync_cache.h"
#include "task/provell/walk_replay.h"

namespace zarn::provell {
namespace {

/// A resolution that reached more coordinates than one sync may bring.
struct TooManyArchives : std::length_error {
  using std::length_error::length_error;
};

void walk(const std::string& coord, std::set<std::string>& resolved, int depth,
          Descriptors& descriptors, std::size_t max_archives) {
  const auto parts = split_coordinate(coord);
  if (parts.size() < 3) return;
  if (resolved.contains(coord) || depth > kMaxDepth) return;
  // Recorded before any request: a coordinate whose descriptor cannot be had
  // is still downloaded, and a cycle stops at its second visit.
  resolved.insert(coord);
  if (descriptors.on_resolved) descriptors.on_resolved(coord);
  if (is_self_contained(parts[1])) return;

  std::vector<std::string> children;
  try {
    children = descriptors.dependencies(coord);
  } catch (const os::Interrupted&) {
    throw;
  } catch (const std::exception&) {
    return;  // an unreadable descriptor only ends its own expansion
  }
  if (depth < kMaxDepth) {
    // Counted before the first child is walked, so a descriptor listing too
    // many costs no request for any of them.
    std::set<std::string_view> fresh;
    for (const std::string& child : children) {
      if (!resolved.contains(child)) fresh.insert(child);
    }
    if (resolved.size() + fresh.size() > max_archives) throw TooManyArchives("too many archives");
  }
  for (const std::string& child : children) {
    walk(child, resolved, depth + 1, descriptors, max_archives);
  }
}

}  // namespace

void resolve_transitive(Transfers& transfers, const std::string& coord,
                        std::set<std::string>& resolved, int depth) {
  const SyncCacheScope cache_scope(transfers);
  Descriptors descriptors(transfers);
  descriptors.plan(coord, resolved, depth);
  walk(coord, resolved, depth, descriptors, transfers.settings().max_archives);
}

std::set<std::string> resolve_all(Transfers& transfers, const std::set<std::string>& coords,
                                  const CoordinateHook& on_resolved) {
  const SyncCacheScope cache_scope(transfers);
  const std::size_t max_archives = transfers.settings().max_archives;
  Descriptors descriptors(transfers);
  descriptors.on_resolved = on_resolved;
  for (const std::string& coord : coords) descriptors.plan(coord, {}, 0);
  std::set<std::string> all;
  for (const std::string& coord : coords) {
    std::set<std::string> resolved;
    try {
      walk(coord, resolved, 0, descriptors, max_archives);
      all.merge(resolved);
      if (all.size() <= max_archives) continue;
    } catch (const TooManyArchives&) {
      // refused below, naming the driver
    }
    // Refused before any archive is fetched: such a tree is a fault or an attack.
    throw std::runtime_error(fmt::format(
        "the driver {} needs more than {} archives, more than one sync brings; nothing was "
        "downloaded",
        coord, max_archives));
  }
  return all;
}

}  // namespace zarn::provell
