#include "net/netrc.h"

#include <gtest/gtest.h>

namespace zarn::net {
namespace {

TEST(NetrcTest, EachHostGetsItsMachineEntryElseTheDefault) {
  const Netrc netrc = parse_netrc(
      "machine Repo.Example.com login ann password s3cret account x\n"
      "macdef init\nmachine evil.example login eve password leak\n\n"
      "machine repo.example.com login second password ignored\n"
      "default\n  login anon\n  password guest\n");
  const struct {
    std::string host;
    std::optional<NetrcLogin> login;
  } cases[] = {
      {"repo.example.com", NetrcLogin{"ann", "s3cret"}},
      {"REPO.example.COM", NetrcLogin{"ann", "s3cret"}},
      {"evil.example", NetrcLogin{"anon", "guest"}},  // named only inside a macro
      {"other", NetrcLogin{"anon", "guest"}},
  };
  for (const auto& test : cases) {
    const NetrcLogin* login = netrc.login_for(test.host);
    ASSERT_NE(login, nullptr) << test.host;
    EXPECT_EQ(*login, *test.login) << test.host;
  }
  EXPECT_EQ(parse_netrc("machine a login b password c\n").login_for("d"), nullptr);
}

}  // namespace
}  // namespace zarn::net
