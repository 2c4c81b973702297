#include "host/printable.h"

#include <gtest/gtest.h>

namespace zarn::host {
namespace {

TEST(Printable, EscapesControlCharactersAsPythonReprShowsThem) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case cases[] = {
      {"shop", "shop"},
      {"a\nb\r\tc", "a\\nb\\r\\tc"},
      {"\x1b[31mred", "\\x1b[31mred"},
      {std::string("nul\0end", 7), "nul\\x00end"},
      {"del\x7f", "del\\x7f"},
      {"c1 \xc2\x9b"
       "2J",
       "c1 \\x9b2J"},  // U+009B, the one-byte escape
      {"caf\xc3\xa9 \xe2\x86\x92 \xc2\xa0", "caf\xc3\xa9 \xe2\x86\x92 \xc2\xa0"},  // kept
      {"bad \xff\xc2", "bad \xff\xc2"},  // invalid UTF-8 is kept as it is
  };
  for (const Case& c : cases) EXPECT_EQ(printable(c.text), c.shown) << c.shown;
}

}  // namespace
}  // namespace zarn::host
