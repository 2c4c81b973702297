#include "yaml/merge_keys.h"

#include <algorithm>
#include <string>

namespace zarn::yaml::detail {
namespace {

constexpr std::size_t kMinMergeBudget = std::size_t{1} << 20;

void take(const Node& source, bool into_set, const MergeValue& value, const EventReader& reader,
          std::vector<Pair>& merged) {
  if (source.is_set()) {  // written as a mapping of its members to null, it merges as one
    for (const Node& member : source.members()) merged.emplace_back(member, Node());
    return;
  }
  for (const Pair& pair : source.entries()) {
    if (into_set && !pair.second.is_null()) reader.fail(value.mark, kSetValueProblem);
    merged.push_back(pair);
  }
}

}  // namespace

MergeKeys::MergeKeys(std::size_t text_size, const EventReader& reader)
    : reader_(reader), limit_(std::max(kMinMergeBudget, text_size)), budget_(limit_) {}

void MergeKeys::spend(std::size_t pairs, const yaml_mark_t& mark) {
  if (pairs > budget_) {
    reader_.fail(mark, "merge keys expand the document too far (over " + std::to_string(limit_) +
                           " merged entries)");
  }
  budget_ -= pairs;
}

void MergeKeys::merge(const MergeValue& value, bool into_set, std::vector<Pair>& merged) {
  if (mergeable(value.node)) {
    spend(value.node.size(), value.mark);
    take(value.node, into_set, value, reader_, merged);
    return;
  }
  if (!value.node.is_sequence()) {
    reader_.fail(value.mark,
                 "expected a mapping or list of mappings for merging, but found scalar");
  }
  const auto& items = value.node.items();
  for (const Node& item : items) {
    if (!mergeable(item)) {
      reader_.fail(value.non_mapping_item.value_or(value.mark),
                   std::string("expected a mapping for merging, but found ") +
                       (item.is_sequence() ? "sequence" : "scalar"));
    }
  }
  for (const Node& item : items) spend(item.size(), value.mark);
  // Earlier mappings win: add the last one first so the earlier ones override.
  for (auto it = items.rbegin(); it != items.rend(); ++it) {
    take(*it, into_set, value, reader_, merged);
  }
}

}  // namespace zarn::yaml::detail
