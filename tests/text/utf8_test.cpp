#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string_view>

namespace zarn::text {
namespace {

TEST(Utf8, CharacterLengthAcceptsOnlyWellFormedSequences) {
  struct Case {
    std::string_view text;
    std::size_t length;
  };
  const Case cases[] = {
      {"", 0},
      {"a", 1},
      {"\xC3\xA9x", 2},         // é
      {"\xE2\x82\xAC", 3},      // €
      {"\xF0\x9F\x98\x80", 4},  // an emoji
      {"\xC0\x80", 0},          // overlong NUL
      {"\xE0\x80\x80", 0},      // overlong three-byte form
      {"\xED\xA0\x80", 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"\xE2\x82", 0},          // cut short
      {"\x80", 0},              // a lone continuation byte
      {"\xE2\x28\xAC", 0},      // a bad continuation byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8_character_length(c.text), c.length) << testing::PrintToString(c.text);
  }
  EXPECT_EQ(utf8_code_point("\xF0\x9F\x98\x80", 4), 0x1F600u);
  EXPECT_EQ(first_invalid_utf8("ok \xC3\xA9 \xFF"), 6u);
  EXPECT_EQ(utf8_character_count("caf\xC3\xA9"), 4u);
}

}  // namespace
}  // namespace zarn::text
