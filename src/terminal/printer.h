#pragma once

#include <iosfwd>
#include <string_view>

#include "os/environment.h"

namespace zarn::terminal {

/// What the printer knows about where its two streams end up.
struct TerminalFacts {
  bool stdout_is_terminal = false;
  bool stderr_is_terminal = false;
  bool dumb = false;      ///< TERM is "dumb" or unset: no cursor movement
  bool no_color = false;  ///< NO_COLOR is set and not empty
};

/// The executable's one printer. Task lines go to standard output with the
/// characters of text::unsafe_character_at() escaped (line breaks kept); warnings and the closing
/// error line go to standard error, after standard output is flushed so the two keep their order on
/// one terminal.
class Printer {
 public:
  /// Lines to out, warnings and errors to err.
  Printer(std::ostream& out, std::ostream& err, TerminalFacts facts);
  /// Everything to out, no terminal: for tests and benchmarks that read one stream.
  explicit Printer(std::ostream& out);
  /// Standard output and standard error, the facts taken from them and environment.
  static Printer for_process(const os::Environment& environment);

  /// One line of task output followed by a line break.
  void line(std::string_view text) const;
  /// "Warning: {text}" on standard error.
  void warning(std::string_view text) const;
  /// "Error: {message}" on standard error, "Error:" in red on a colour terminal.
  void error(std::string_view message) const;
  /// A line on standard error as it is, for text that is not a task line.
  void note(std::string_view text) const;

  /// Standard error is a terminal that can redraw a line in place.
  bool stderr_is_smart_terminal() const { return facts_.stderr_is_terminal && !facts_.dumb; }
  /// Colour may be used on standard error.
  bool stderr_uses_color() const { return stderr_is_smart_terminal() && !facts_.no_color; }

 private:
  void to_err(std::string_view prefix, std::string_view text) const;

  std::ostream* out_;
  std::ostream* err_;
  TerminalFacts facts_;
};

}  // namespace zarn::terminal
