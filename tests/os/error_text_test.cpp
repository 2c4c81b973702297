#include "os/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <string>
#include <system_error>

namespace zarn::os {
namespace {

TEST(ErrorText, WhatTheStandardLibrarySaysAloneGetsTheOperation) {
  const std::string op = "zarn target sync";
  EXPECT_EQ(error_text(std::bad_alloc(), op), "zarn target sync ran out of memory");
  EXPECT_EQ(error_text(std::system_error(EAGAIN, std::generic_category()), op),
            "zarn target sync: Resource temporarily unavailable");
  EXPECT_EQ(error_text(std::out_of_range("basic_string::substr"), op),
            "zarn target sync failed on an internal error (basic_string::substr)");
  // zarn's own messages and the library's that name a path are told as they are.
  EXPECT_EQ(error_text(std::runtime_error("/p/profiles.yml: not a mapping"), op),
            "/p/profiles.yml: not a mapping");
  const std::filesystem::filesystem_error with_path(
      "cannot copy", "/p/a", std::make_error_code(std::errc::permission_denied));
  EXPECT_EQ(error_text(with_path, op), with_path.what());
}

}  // namespace
}  // namespace zarn::os
