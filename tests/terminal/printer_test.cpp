#include "terminal/printer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace zarn::terminal {
namespace {

struct ErrorCase {
  std::string label;
  TerminalFacts facts;
  std::string err;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << c.label;
}

class PrinterError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PrinterError, ColoursOnlyASmartTerminalWithoutNoColor) {
  std::ostringstream out;
  std::ostringstream err;
  const Printer printer(out, err, GetParam().facts);
  printer.line("task line");
  printer.error("it broke");
  EXPECT_EQ(out.str(), "task line\n");
  EXPECT_EQ(err.str(), GetParam().err);
}

const std::string kPlain = "Error: it broke\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, PrinterError,
    ::testing::Values(
        ErrorCase{"pipe", {}, kPlain},
        ErrorCase{"terminal", {false, true, false, false}, "\x1b[1;31mError:\x1b[0m it broke\n"},
        ErrorCase{"dumb terminal", {false, true, true, false}, kPlain},
        ErrorCase{"NO_COLOR", {false, true, false, true}, kPlain},
        ErrorCase{"only stdout a terminal", {true, false, false, false}, kPlain}));

}  // namespace
}  // namespace zarn::terminal
