#include "terminal/printer.h"

#include <unistd.h>

#include <iostream>
#include <string>

#include "text/printable.h"

namespace zarn::terminal {
namespace {

constexpr std::string_view kRed = "\x1b[1;31m";
constexpr std::string_view kReset = "\x1b[0m";

TerminalFacts facts_of_process(const os::Environment& environment) {
  const std::string term = environment.get("TERM").value_or("");
  return TerminalFacts{
      .stdout_is_terminal = isatty(STDOUT_FILENO) == 1,
      .stderr_is_terminal = isatty(STDERR_FILENO) == 1,
      .dumb = term.empty() || term == "dumb",
      .no_color = environment.get_non_empty("NO_COLOR").has_value(),
  };
}

}  // namespace

Printer::Printer(std::ostream& out, std::ostream& err, TerminalFacts facts)
    : out_(&out), err_(&err), facts_(facts) {}

Printer::Printer(std::ostream& out) : Printer(out, out, TerminalFacts{}) {}

Printer Printer::for_process(const os::Environment& environment) {
  return Printer(std::cout, std::cerr, facts_of_process(environment));
}

// Every line of every command passes here: names read from files reach the
// terminal escaped, whichever message carries them. Line breaks stay, since
// some fixed messages span two lines; a name's own breaks are escaped where
// the name is put into the line.
void Printer::line(std::string_view text) const {
  *out_ << text::printable_keeping_line_breaks(text) << '\n';
  out_->flush();
}

void Printer::warning(std::string_view text) const {
  to_err("Warning: ", text);
}

void Printer::error(std::string_view message) const {
  const std::string prefix =
      stderr_uses_color() ? std::string(kRed) + "Error:" + std::string(kReset) + " " : "Error: ";
  to_err(prefix, message);
}

void Printer::note(std::string_view text) const {
  to_err("", text);
}

void Printer::to_err(std::string_view prefix, std::string_view text) const {
  out_->flush();
  *err_ << prefix << text::printable_keeping_line_breaks(text) << '\n';
  err_->flush();
}

}  // namespace zarn::terminal
