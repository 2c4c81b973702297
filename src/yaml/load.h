#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

#include "yaml/node.h"

namespace zarn::yaml {

/// Malformed or unsupported YAML. what() is one line:
/// "{source}:{line}:{column}: {problem}" (line and column 1-based).
class ParseError : public std::runtime_error {
 public:
  ParseError(std::string source, std::size_t line, std::size_t column, std::string problem);
  const std::string& source() const { return source_; }
  std::size_t line() const { return line_; }
  std::size_t column() const { return column_; }
  const std::string& problem() const { return problem_; }

 private:
  std::string source_;
  std::size_t line_;
  std::size_t column_;
  std::string problem_;
};

/// Nesting deeper than this is rejected, so hostile input cannot exhaust the stack.
inline constexpr std::size_t kMaxDepth = 512;

/// Safe load of one YAML document, typed as PyYAML's safe_load types it.
/// An empty stream is null. source names the input in error messages.
/// !!binary gives Bytes, !!set (on a mapping) a Set. Unlike PyYAML, these
/// are errors, as reading them would lose or invent data: a value that
/// contains itself (an alias inside its own anchor); !!omap and !!pairs; a
/// !!set entry whose value is not null (PyYAML drops the value); !!binary text
/// with characters outside base64 and whitespace, or data after its padding
/// (PyYAML skips or drops those).
Node load(std::string_view text, std::string_view source = "<string>");

}  // namespace zarn::yaml
