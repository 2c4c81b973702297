#include "host/yaml_merge.h"

#include <optional>

namespace zarn::host {
namespace {

using MaybeNode = std::optional<yaml::Node>;

MaybeNode entry(const MaybeNode& mapping, const yaml::Node& key) {
  if (!mapping || !mapping->is_mapping()) return std::nullopt;
  const yaml::Node* value = mapping->find(key);
  return value ? MaybeNode(*value) : std::nullopt;
}

bool same(const MaybeNode& a, const MaybeNode& b) {
  if (!a || !b) return !a && !b;
  return *a == *b;
}

MaybeNode merge(const MaybeNode& base, const MaybeNode& ours, const MaybeNode& theirs) {
  if (same(ours, base)) return theirs;
  if (same(theirs, base) || same(ours, theirs)) return ours;
  const bool mappings = ours && theirs && ours->is_mapping() && theirs->is_mapping();
  if (!mappings) return ours;
  // Their order first, then the keys only ours has.
  yaml::Node merged = yaml::Node::mapping();
  auto take = [&](const yaml::Node& key) {
    if (merged.contains(key)) return;
    if (MaybeNode value = merge(entry(base, key), entry(ours, key), entry(theirs, key))) {
      merged.set(key, *value);
    }
  };
  for (const auto& [key, value] : theirs->entries()) take(key);
  for (const auto& [key, value] : ours->entries()) take(key);
  return merged;
}

}  // namespace

yaml::Node merge_changes(const yaml::Node& base, const yaml::Node& ours, const yaml::Node& theirs) {
  return merge(base, ours, theirs).value_or(yaml::Node::mapping());
}

}  // namespace zarn::host
