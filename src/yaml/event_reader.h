#pragma once

// Internal to the yaml library: libyaml's event parser over a string.

#include <yaml.h>

#include <string>
#include <string_view>

namespace zarn::yaml::detail {

/// "line 3, column 7" (1-based).
std::string describe(const yaml_mark_t& mark);

/// Reads events one at a time; malformed input becomes a ParseError naming
/// source, line and column.
class EventReader {
 public:
  EventReader(std::string_view text, std::string_view source);
  ~EventReader();
  EventReader(const EventReader&) = delete;
  EventReader& operator=(const EventReader&) = delete;

  /// The next event, valid until the following call.
  const yaml_event_t& next();
  [[noreturn]] void fail(const yaml_mark_t& mark, const std::string& problem) const;

 private:
  [[noreturn]] void fail_syntax() const;

  std::string_view text_;
  std::string source_;
  yaml_parser_t parser_;
  yaml_event_t event_{};
  bool live_ = false;  // event_ holds memory to free
};

}  // namespace zarn::yaml::detail
