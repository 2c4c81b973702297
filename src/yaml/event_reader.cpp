#include "yaml/event_reader.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "text/utf8.h"
#include "yaml/load.h"

namespace zarn::yaml::detail {

std::string describe(const yaml_mark_t& mark) {
  return "line " + std::to_string(mark.line + 1) + ", column " + std::to_string(mark.column + 1);
}

EventReader::EventReader(std::string_view text, std::string_view source)
    : text_(text), source_(source) {
  if (!yaml_parser_initialize(&parser_)) throw std::bad_alloc();
  yaml_parser_set_input_string(&parser_, reinterpret_cast<const unsigned char*>(text.data()),
                               text.size());
  yaml_parser_set_encoding(&parser_, YAML_UTF8_ENCODING);
}

EventReader::~EventReader() {
  if (live_) yaml_event_delete(&event_);
  yaml_parser_delete(&parser_);
}

const yaml_event_t& EventReader::next() {
  if (live_) yaml_event_delete(&event_);
  live_ = false;
  if (!yaml_parser_parse(&parser_, &event_)) fail_syntax();
  live_ = true;
  return event_;
}

void EventReader::fail(const yaml_mark_t& mark, const std::string& problem) const {
  std::string line = problem;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  throw ParseError(source_, mark.line + 1, mark.column + 1, line);
}

void EventReader::fail_syntax() const {
  const yaml_parser_t& p = parser_;
  std::string problem = p.problem ? p.problem : "malformed YAML";
  if (p.error == YAML_MEMORY_ERROR) problem = "out of memory";
  yaml_mark_t mark = p.problem_mark;
  if (p.error == YAML_READER_ERROR) {
    // The reader reports a byte offset only: count lines and characters to it.
    mark = {};
    std::size_t offset = std::min(p.problem_offset, text_.size());
    // A bad continuation byte: point at the character it was meant to continue.
    for (std::size_t back = 1; back <= 3 && back <= offset; ++back) {
      const unsigned char c = static_cast<unsigned char>(text_[offset - back]);
      if (c < 0x80) break;
      if (!zarn::text::is_utf8_continuation(c)) {
        offset -= back;
        break;
      }
    }
    const std::string_view before(text_.data(), offset);
    const std::size_t line_start = before.rfind('\n') + 1;  // npos + 1 is 0
    mark.line = std::count(before.begin(), before.end(), '\n');
    mark.column = zarn::text::utf8_character_count(before.substr(line_start));
    if (p.problem_value != -1) {
      char value[16];
      std::snprintf(value, sizeof value, " (#x%X)", static_cast<unsigned>(p.problem_value));
      problem += value;
    }
  }
  if (p.context) {
    problem += " (";
    problem += p.context;
    problem += " at " + describe(p.context_mark) + ")";
  }
  fail(mark, problem);
}

}  // namespace zarn::yaml::detail
