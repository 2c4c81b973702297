#include "yaml/top_level.h"

namespace zarn::yaml {

std::optional<Node> top_level_mapping(const Node& document, EmptyDocument empty) {
  const bool blank = empty == EmptyDocument::kFalsy ? !document.truthy() : document.is_null();
  if (blank) return Node::mapping();
  if (document.is_mapping()) return document;
  return std::nullopt;
}

}  // namespace zarn::yaml
