#pragma once

#include <optional>

#include "yaml/node.h"

namespace zarn::yaml {

/// What stands for an empty mapping at the top level of a document.
enum class EmptyDocument {
  kNull,   ///< only an empty document (or an explicit null)
  kFalsy,  ///< anything false-like, as `load(...) or {}` reads it: null, false, 0, "", []
};

/// The document when it is a mapping, an empty mapping when it holds nothing
/// (as empty defines), else nothing: the caller refuses it in its own words,
/// naming what was found with kind_name.
std::optional<Node> top_level_mapping(const Node& document, EmptyDocument empty);

}  // namespace zarn::yaml
