// Maven coordinates to repository addresses, and their expansion with the
// run-time dependencies listed in the drivers' POM descriptors.

#include <fmt/format.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string_view>

#include "net/transfer_engine.h"
#include "task/provell/catalogue.h"
#include "task/provell/coordinates.h"
#include "task/provell/pom.h"
#include "task/provell/provell_task.h"
#include "task/provell/sync_cache.h"
#include "task/provell/walk_replay.h"

namespace zarn::provell {
namespace {

constexpr std::size_t kMaxDescriptorBytes = 32 << 20;
/// Whether a dependency is needed at run time and names its version.
bool is_followed(const PomDependency& dependency) {
  if (dependency.scope && (*dependency.scope == "test" || *dependency.scope == "provided")) {
    return false;
  }
  if (dependency.optional && *dependency.optional == "true") return false;
  return dependency.group_id && dependency.artifact_id && dependency.version;
}

/// A resolution that reached more coordinates than one sync may bring.
struct TooManyArchives : std::length_error {
  using std::length_error::length_error;
};

std::string descriptor_url(const std::string& archive_url) {
  return archive_url.substr(0, archive_url.size() - std::string_view(".jar").size()) + ".pom";
}

}  // namespace

/// The descriptors one resolution reads, each fetched once. With look-ahead,
/// a replay of the walk asks for each descriptor as soon as the walk is sure
/// to read it, so they arrive before the walk needs them and none is fetched
/// that a walk one file at a time would not read.
class ProvellTask::Descriptors : private WalkReplay::Source {
 public:
  Descriptors(ProvellTask& task, bool look_ahead)
      : task_(task), look_ahead_(look_ahead), replay_(*this, task.transfers.max_archives) {}
  ~Descriptors() override {
    for (const auto& [coord, entry] : entries_) {
      if (!entry.ended) task_.engine().cancel(entry.id);
    }
  }
  Descriptors(const Descriptors&) = delete;
  Descriptors& operator=(const Descriptors&) = delete;
  CoordinateHook on_resolved;  ///< hears each coordinate the walk reaches

  /// With look-ahead, replays the walk from coord at depth ahead of it,
  /// after the walks planned before.
  void plan(const std::string& coord, const std::set<std::string>& resolved, int depth) {
    if (!look_ahead_) return;
    replay_.add_walk(coord, resolved, depth);
    replay_.advance();
  }

  /// The followed dependencies of coord's descriptor, as coordinates in
  /// document order. Throws when the descriptor cannot be had or read.
  const std::vector<std::string>& dependencies(const std::string& coord) {
    Entry& entry = request(coord);
    if (!entry.ended) {
      task_.engine().prioritize(entry.id);
      task_.engine().run_until([&entry] { return entry.ended; });
    }
    parse(entry);
    if (entry.error) std::rethrow_exception(entry.error);
    return entry.children;
  }

 private:
  struct Entry {
    net::TransferEngine::Id id = 0;
    bool ended = false;
    bool parsed = false;
    bool from_cache = false;
    std::string coord;
    std::string body;
    std::exception_ptr error;
    std::vector<std::string> children;
  };

  bool want(const std::string& coord) override {
    try {
      request(coord);
      return true;
    } catch (const std::invalid_argument&) {
      return false;  // an unsafe coordinate is never fetched; the walk reads nothing either
    }
  }

  const std::vector<std::string>* ready(const std::string& coord) override {
    Entry& entry = entries_.at(coord);
    if (!entry.ended) return nullptr;
    parse(entry);
    return &entry.children;
  }

  /// The entry of coord, its fetch started if need be; throws for a
  /// coordinate that names no safe address, before anything is recorded.
  Entry& request(const std::string& coord) {
    auto found = entries_.find(coord);
    const bool inserted = found == entries_.end();
    std::string url;
    if (inserted) {
      url = descriptor_url(task_._maven_coord_to_url(coord).first);
      found = entries_.try_emplace(coord).first;
      found->second.coord = coord;
    }
    Entry& entry = found->second;
    if (inserted && take_from_cache(entry)) {
      if (look_ahead_) replay_.advance();
    } else if (inserted) {
      entry.id = task_.engine().start(
          url, task_.transfers.descriptor_timeout,
          [&entry](std::string_view piece) {
            if (entry.body.size() + piece.size() > kMaxDescriptorBytes) {
              throw net::HttpError("response larger than " + std::to_string(kMaxDescriptorBytes) +
                                   " bytes");
            }
            entry.body.append(piece);
          },
          [this, &entry](std::exception_ptr error) {
            entry.ended = true;
            ++task_.descriptors_fetched_;
            if (error && task_.cache_) task_.cache_->descriptor_failed(entry.coord, error);
            entry.error = std::move(error);
            if (look_ahead_) replay_.advance();
          });
    }
    return entry;
  }

  /// Whether the cache settled entry: its descriptor read from there, or,
  /// offline, its absence.
  bool take_from_cache(Entry& entry) {
    SyncCache* const cache = task_.cache_.get();
    if (cache == nullptr) return false;
    const bool absent = cache->descriptor_absent(entry.coord);
    auto body = absent ? std::nullopt : cache->descriptor(entry.coord);
    if (!absent && !body && !cache->offline()) return false;
    entry.ended = true;
    ++task_.descriptors_fetched_;
    if (absent) {
      entry.error = std::make_exception_ptr(std::runtime_error("no descriptor in the repository"));
    } else if (body) {
      entry.body = std::move(*body);
      entry.from_cache = true;
    } else {
      entry.error = std::make_exception_ptr(std::runtime_error(std::string(kNotInCache)));
    }
    return true;
  }

  void parse(Entry& entry) {
    if (entry.parsed || entry.error) return;
    entry.parsed = true;
    try {
      for (const PomDependency& dependency : parse_pom_dependencies(entry.body)) {
        if (!is_followed(dependency)) continue;
        entry.children.push_back(*dependency.group_id + ":" + *dependency.artifact_id + ":" +
                                 *dependency.version);
      }
      SyncCache* const cache = task_.cache_.get();
      if (cache != nullptr && !entry.from_cache) cache->keep_descriptor(entry.coord, entry.body);
    } catch (const std::exception&) {
      entry.error = std::current_exception();
      entry.children.clear();
    }
    std::string().swap(entry.body);
  }

  ProvellTask& task_;
  const bool look_ahead_;
  std::map<std::string, Entry> entries_;  ///< a std::map: sinks keep pointers to entries
  WalkReplay replay_;
};

std::set<std::string> ProvellTask::_resolve_transitive_deps(const std::string& coord) {
  std::set<std::string> resolved;
  _resolve_transitive_deps(coord, resolved, 0);
  return resolved;
}

void ProvellTask::_resolve_transitive_deps(const std::string& coord,
                                           std::set<std::string>& resolved, int depth) {
  const SyncCacheScope cache_scope(cache_, host_, transfers);
  Descriptors descriptors(*this, transfers.jobs > 1);
  descriptors.plan(coord, resolved, depth);
  walk(coord, resolved, depth, descriptors);
}

std::set<std::string> ProvellTask::resolve_all(const std::set<std::string>& coords,
                                               const CoordinateHook& on_resolved) {
  const SyncCacheScope cache_scope(cache_, host_, transfers);
  Descriptors descriptors(*this, transfers.jobs > 1);
  descriptors.on_resolved = on_resolved;
  for (const std::string& coord : coords) descriptors.plan(coord, {}, 0);
  std::set<std::string> all;
  for (const std::string& coord : coords) {
    std::set<std::string> resolved;
    try {
      walk(coord, resolved, 0, descriptors);
      all.merge(resolved);
      if (all.size() <= transfers.max_archives) continue;
    } catch (const TooManyArchives&) {
      // refused below, naming the driver
    }
    // Refused before any archive is fetched: such a tree is a fault or an attack.
    throw std::runtime_error(fmt::format(
        "the driver {} needs more than {} archives, more than one sync brings; nothing was "
        "downloaded",
        coord, transfers.max_archives));
  }
  return all;
}

void ProvellTask::walk(const std::string& coord, std::set<std::string>& resolved, int depth,
                       Descriptors& descriptors) {
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
  } catch (const net::TransferInterrupted&) {
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
    if (resolved.size() + fresh.size() > transfers.max_archives)
      throw TooManyArchives("too many archives");
  }
  for (const std::string& child : children) walk(child, resolved, depth + 1, descriptors);
}

}  // namespace zarn::provell
