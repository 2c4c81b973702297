#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::provell {

/// The XML namespace of the Maven POM 4.0.0 model.
inline constexpr std::string_view kPomNamespace = "http://maven.apache.org/POM/4.0.0";

/// The spelling of an element that is present but holds no text, as the
/// descriptor reader of the tool this one replaces spelled it, so archive
/// names built from such elements stay the same.
inline constexpr std::string_view kNoText = "None";

/// One POM-namespace <dependency> element below the root. Each field is the
/// text of the element's first direct child of that name (up to that child's
/// own first child element, untrimmed), kNoText for a child without text, or
/// absent when there is no such child.
struct PomDependency {
  std::optional<std::string> group_id;
  std::optional<std::string> artifact_id;
  std::optional<std::string> version;
  std::optional<std::string> scope;
  std::optional<std::string> optional;

  friend bool operator==(const PomDependency&, const PomDependency&) = default;
};

/// A descriptor that is not valid UTF-8, not well-formed XML, or declares
/// entities (never needed by a POM, and the door to entity expansion and
/// external loads). A document type line without declarations is fine.
class PomError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Every dependency of the document, in document order. The whole document
/// is checked before anything is returned; throws PomError.
std::vector<PomDependency> parse_pom_dependencies(std::string_view document);

}  // namespace zarn::provell
