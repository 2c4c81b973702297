#include "os/path_text.h"

#include <gtest/gtest.h>

namespace zarn::os {
namespace {

TEST(PathText, DropsRepeatedSlashesAndDots) {
  struct Case {
    const char* path;
    const char* text;
    const char* name;
  };
  const Case cases[] = {
      {"a//b/./c/", "a/b/c", "c"}, {"", ".", ""},       {"./", ".", ""}, {"/", "/", ""},
      {"//x/", "/x", "x"},         {"./p//", "p", "p"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(path_text(c.path), c.text) << c.path;
    EXPECT_EQ(path_name(c.path), c.name) << c.path;
  }
}

}  // namespace
}  // namespace zarn::os
