#pragma once

#include <string>

#include "yaml/node.h"

namespace zarn::yaml {

/// Block-style YAML with the keys of every mapping sorted (key_less), as
/// PyYAML's dump(default_flow_style=False) writes it: bytes as !!binary
/// base64 lines, a set as a !!set mapping of its members to null. Values
/// shared by several places are written once with an anchor and then as aliases.
/// load(dump(v)) == v for every value load can produce. Throws
/// std::invalid_argument for a string that is not UTF-8 or for nesting deeper
/// than kMaxDepth (load.h), which could not be read back.
std::string dump(const Node& root);

}  // namespace zarn::yaml
