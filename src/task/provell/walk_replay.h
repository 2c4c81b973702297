#pragma once

#include <cstddef>
#include <deque>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::provell {

/// Dependencies are kept down to three levels below the driver.
inline constexpr int kMaxDepth = 3;

/// Whether artifact_id names a driver shipped as one archive, whose
/// descriptor is never read.
bool is_self_contained(std::string_view artifact_id);

/// The dependency walk replayed over the descriptors at hand, ahead of the
/// walk itself: it asks for every descriptor the walk is sure to read as soon
/// as that is sure, and never for one the walk will not read. A descriptor is
/// sure to be read once its coordinate is a dependency of one the walk
/// expands; whether a coordinate is expanded (reached first above the last
/// level) is known only once every descriptor before it in the walk's order
/// is in, so the replay waits there and goes on when it arrives.
class WalkReplay {
 public:
  /// What the replay asks of the descriptors of one resolution.
  class Source {
   public:
    virtual ~Source() = default;
    /// Starts fetching coord's descriptor, once; false for a coordinate that
    /// names no address (the walk reads nothing for it either).
    virtual bool want(const std::string& coord) = 0;
    /// coord's followed dependencies once its descriptor is in (none when it
    /// could not be had or read); null while it is on its way.
    virtual const std::vector<std::string>* ready(const std::string& coord) = 0;
  };

  WalkReplay(Source& source, std::size_t max_archives)
      : source_(source), max_archives_(max_archives) {}

  /// Adds the walk from coord at depth, with resolved already taken, after
  /// the walks added before; its descriptor is asked for at once.
  void add_walk(const std::string& coord, std::set<std::string> resolved, int depth);
  /// Goes as far as the descriptors at hand allow.
  void advance();

 private:
  struct Walk {
    std::string coord;
    std::set<std::string> resolved;
    int depth;
  };
  struct Step {
    std::string coord;
    int depth;
  };

  /// Whether the walk reads coord's descriptor when it visits it.
  static bool readable(const std::string& coord);
  /// Expands the step just read; false when the walk would refuse the tree.
  bool expand(const Step& step, const std::vector<std::string>& children);

  Source& source_;
  const std::size_t max_archives_;
  std::deque<Walk> walks_;
  std::set<std::string> resolved_;  ///< of the walk being replayed
  std::vector<Step> steps_;         ///< still to visit, the next last
  bool stopped_ = false;            ///< the walk refuses the tree here
  bool advancing_ = false;
};

}  // namespace zarn::provell
