#include "text/printable.h"

#include <gtest/gtest.h>

namespace zarn::text {
namespace {

TEST(Printable, EscapesControlCharactersAsPythonReprShowsThem) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"a\nb\r\tc", "a\\nb\\r\\tc"},
      {std::string("\x1b[31m\0\x7f", 7), "\\x1b[31m\\x00\\x7f"},
      {"c1 \xc2\x9b"
       "2J",
       "c1 \\x9b2J"},  // U+009B, the one-byte escape
      // Text-direction overrides and isolates reorder what a terminal shows.
      {"a\xe2\x80\xae"
       "b\xe2\x81\xa6"
       "c\xe2\x80\x8f",
       "a\\u202eb\\u2066c\xe2\x80\x8f"},
      // Printable UTF-8 and invalid bytes are kept as they are.
      {"caf\xc3\xa9 \xe2\x86\x92 \xc2\xa0 \xff\xc2", "caf\xc3\xa9 \xe2\x86\x92 \xc2\xa0 \xff\xc2"},
  };

  for (const Case& c : cases) EXPECT_EQ(printable(c.text), c.shown) << c.shown;
}

}  // namespace
}  // namespace zarn::text
