// Driver downloads from a repository over TLS whose authority the user names.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "host/executable_host.h"
#include "support/maven_server.h"
#include "support/tls_certificate.h"
#include "task/provell/outcome_lists.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

using Names = std::vector<std::string>;

TEST(TlsDownloadTest, TheAuthorityVariablesReplaceTheBuiltInBundle) {
  const testing::TlsCertificate certificate;
  testing::MavenServer server(certificate);
  server.add_jar("org.postgresql:postgresql:42.7.4");
  const std::string file = certificate.certificate().string();
  const std::string folder = certificate.folder().string();
  const struct {
    std::string variable;
    std::string value;
    bool trusted;
  } cases[] = {
      {"", "", false},
      {"CURL_CA_BUNDLE", file, true},
      {"SSL_CERT_FILE", file, true},
      {"SSL_CERT_DIR", folder, true},
  };
  for (const auto& test : cases) {
    const testing::TempDir dir;
    std::map<std::string, std::string> variables{{"HOME", (dir / "home").string()},
                                                 {"ZARN_MAVEN_REPO", server.repo_url()}};
    if (!test.variable.empty()) variables[test.variable] = test.value;
    std::ostringstream out;
    std::ostringstream err;
    host::ExecutableHost context(terminal::Printer(out, err, {}),
                                 os::Environment(std::move(variables)));
    ProvellTask task(context, (dir / "project").string(), (dir / "profiles").string());
    const auto [downloaded, failed] = lists(task.download_jdbc_jars({"postgres"}));
    EXPECT_EQ(failed.empty(), test.trusted) << test.variable;
    if (!test.trusted) {
      EXPECT_NE(out.str().find("✗ Failed: SSL certificate problem"), std::string::npos)
          << out.str();
    }
  }
}

}  // namespace
}  // namespace zarn::provell
