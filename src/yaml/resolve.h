#pragma once

#include <string_view>

#include "yaml/node.h"

namespace zarn::yaml {

/// The kind PyYAML's implicit resolver gives a plain (unquoted, untagged)
/// scalar of this text. Shared by load and dump so they can never disagree.
Kind resolve_plain(std::string_view text);

}  // namespace zarn::yaml
