#pragma once

// Internal to the yaml library: what a merge key (`<<`) brings into the
// mapping being read.

#include <yaml.h>

#include <cstddef>
#include <optional>
#include <vector>

#include "yaml/event_reader.h"
#include "yaml/node.h"

namespace zarn::yaml::detail {

// PyYAML drops such values; refusing them keeps a rewrite from losing them.
inline constexpr const char* kSetValueProblem =
    "a !!set member cannot have a value other than null";

/// A mapping, or a set: a merge key takes either (a set's values are null).
inline bool mergeable(const Node& node) {
  return node.is_mapping() || node.is_set();
}

/// The value of a merge key as read: where it stands, and where its first
/// item that is not a mapping stands (for a sequence).
struct MergeValue {
  const Node& node;
  yaml_mark_t mark{};
  std::optional<yaml_mark_t> non_mapping_item;
};

/// Copies merged pairs within a budget: `<<: *big` repeated in a small file
/// could otherwise expand to gigabytes, as aliases of aliases would if they
/// were copied.
class MergeKeys {
 public:
  MergeKeys(std::size_t text_size, const EventReader& reader);

  /// Appends the pairs value brings to merged, in the order they take effect;
  /// into_set when the mapping is a !!set (its values must be null).
  void merge(const MergeValue& value, bool into_set, std::vector<Pair>& merged);

 private:
  void spend(std::size_t pairs, const yaml_mark_t& mark);

  const EventReader& reader_;
  std::size_t limit_;
  std::size_t budget_;  // pairs merge keys may still copy
};

}  // namespace zarn::yaml::detail
