#pragma once

#include <exception>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "net/transfer_engine.h"
#include "task/provell/transfers.h"
#include "task/provell/walk_replay.h"

namespace zarn::provell {

/// Told of a coordinate as the walk reaches it.
using CoordinateHook = std::function<void(const std::string&)>;

/// The descriptors one resolution reads, each fetched once. With look-ahead,
/// a replay of the walk asks for each descriptor as soon as the walk is sure
/// to read it, so they arrive before the walk needs them and none is fetched
/// that a walk one file at a time would not read.
class Descriptors : private WalkReplay::Source {
 public:
  explicit Descriptors(Transfers& transfers);
  ~Descriptors() override;
  Descriptors(const Descriptors&) = delete;
  Descriptors& operator=(const Descriptors&) = delete;
  CoordinateHook on_resolved;  ///< hears each coordinate the walk reaches

  /// With look-ahead, replays the walk from coord at depth ahead of it,
  /// after the walks planned before.
  void plan(const std::string& coord, const std::set<std::string>& resolved, int depth);

  /// The followed dependencies of coord's descriptor, as coordinates in
  /// document order. Throws when the descriptor cannot be had or read.
  const std::vector<std::string>& dependencies(const std::string& coord);

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

  bool want(const std::string& coord) override;
  const std::vector<std::string>* ready(const std::string& coord) override;
  /// The entry of coord, its fetch started if need be; throws for a
  /// coordinate that names no safe address, before anything is recorded.
  Entry& request(const std::string& coord);
  void fetch(Entry& entry, const std::string& url);
  /// Whether the cache settled entry: its descriptor read from there, or,
  /// offline, its absence.
  bool take_from_cache(Entry& entry);
  void parse(Entry& entry);

  Transfers& transfers_;
  const bool look_ahead_;
  std::map<std::string, Entry> entries_;  ///< a std::map: sinks keep pointers to entries
  WalkReplay replay_;
};

}  // namespace zarn::provell
