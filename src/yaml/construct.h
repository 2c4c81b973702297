#pragma once

// Internal to the yaml library: scalar text to values, as PyYAML's safe
// constructor makes them.

#include <cctype>
#include <stdexcept>
#include <string_view>

#include "yaml/node.h"
#include "yaml/resolve.h"

namespace zarn::yaml::detail {

/// A scalar that cannot become a value, or a tag that cannot apply to a node;
/// the loader adds the position. The message never quotes the scalar's text.
class ScalarError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The value of a plain scalar that resolve_plain typed as type (not Merge or Value).
Node construct_plain(std::string_view text, PlainType type);

/// The value of a scalar with an explicit tag of the yaml.org,2002 family;
/// throws ScalarError for text the tag cannot take, or an unsupported tag.
Node construct_tagged(std::string_view text, std::string_view tag);

/// Whether a sequence or mapping with this explicit tag (not "" or "!") is a
/// set; throws ScalarError when the tag cannot apply to it.
bool tagged_as_set(std::string_view tag, bool mapping);

inline constexpr std::string_view kTagPrefix = "tag:yaml.org,2002:";

}  // namespace zarn::yaml::detail
