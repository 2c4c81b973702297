#pragma once

#include <string_view>

#include "yaml/node.h"

namespace zarn::host {

/// Text to document through the YAML library; throws yaml::ParseError.
yaml::Node load_yaml_text(std::string_view text, std::string_view source = "<string>");

}  // namespace zarn::host
