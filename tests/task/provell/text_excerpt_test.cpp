#include "task/provell/text_excerpt.h"

#include <gtest/gtest.h>

namespace zarn::provell {
namespace {

TEST(Utf8Prefix, CountsCharactersNotBytes) {
  struct Case {
    std::string text;
    std::size_t characters;
    std::string expected;
  };
  const Case cases[] = {
      {"short", 200, "short"},
      {"héllo", 2, "hé"},
      {"a😀b", 2, "a😀"},
      {"line one\nline two", 10, "line one\nl"},
      // Bytes that form no character count as one each and become U+FFFD.
      {"a\xFF"
       "b",
       3,
       "a\xEF\xBF\xBD"
       "b"},
      {"\xE6\x97"
       "x",
       2, "\xEF\xBF\xBD\xEF\xBF\xBD"},      // a character cut short
      {"\xC0\xAF", 1, "\xEF\xBF\xBD"},      // overlong "/"
      {"\xED\xA0\x80", 1, "\xEF\xBF\xBD"},  // a lone surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(utf8_prefix(c.text, c.characters), c.expected) << c.text;
}

}  // namespace
}  // namespace zarn::provell
