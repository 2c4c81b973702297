#pragma once

#include "yaml/node.h"

namespace zarn::host {

/// Three-way merge of a document that two writers changed from the same
/// base: what only one side changed is taken from that side; mappings that
/// both changed are merged key by key; where both changed the same value,
/// ours wins. When theirs equals base the result is ours itself.
yaml::Node merge_changes(const yaml::Node& base, const yaml::Node& ours, const yaml::Node& theirs);

}  // namespace zarn::host
