// The driver download with many transfers at once against one at a time:
// the same report, lists and files, whatever the mirror does wrong.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "support/nghttpd_server.h"
#include "support/tls_certificate.h"
#include "task/provell/maven_fixture.h"
#include "task/provell/outcome_lists.h"

namespace zarn::provell {
namespace {

namespace fs = std::filesystem;
using testing::jar_of;
using testing::MavenServer;
using testing::PomDep;
using Names = std::vector<std::string>;

const std::string kHive = "org.apache.hive:hive-jdbc:3.1.3";

/// What one run leaves: its report (the folder's path made neutral), its
/// lists and the driver folder's files with their sizes.
struct Outcome {
  std::string report;
  Names downloaded;
  Names failed;
  std::vector<std::pair<std::string, std::uintmax_t>> files;
};

class ParallelDownloadTest : public MavenTest {
 protected:
  /// A hive driver whose tree holds each fault the mirror can show.
  void build_mirror() {
    server.add_pom(kHive, std::vector<PomDep>{{"g", "a"},
                                              {"g", "dup"},
                                              {"h", "dup"},
                                              {"g", "missing"},
                                              {"g", "cut"},
                                              {"g", "moved"},
                                              {"g", "stalled"},
                                              {"g", "bad-sum"},
                                              {"g", "no-sum"},
                                              {"g", "empty"},
                                              {"g", "../up"},
                                              {"g", "b"}});
    // g:x is first reached three levels down through g:a, so its own
    // dependency g:y stays out, though g:b names g:x one level down.
    server.add_pom("g:a:1", std::vector<PomDep>{{"g", "a2"}});
    server.add_pom("g:a2:1", std::vector<PomDep>{{"g", "x"}});
    server.add_pom("g:x:1", std::vector<PomDep>{{"g", "y"}});
    server.add_pom("g:b:1", std::vector<PomDep>{{"g", "x"}, {"g", "c"}});
    server.add_pom("g:y:1", std::vector<PomDep>{{"g", "z"}});
    server.fail_with(MavenServer::path_of("g:c:1", "pom"), 500);
    for (const char* coord :
         {"org.apache.hive:hive-jdbc:3.1.3", "g:a:1", "g:a2:1", "g:x:1", "g:b:1", "g:c:1", "g:y:1",
          "h:dup:1", "g:stalled:1", "g:bad-sum:1", "g:no-sum:1", "g:target:1"}) {
      server.add_jar(coord, 200000);
    }
    server.fail_with(jar_of("g:dup:1"), 404);
    server.add_jar("g:cut:1", 100000);
    server.cut_after(jar_of("g:cut:1"), 5000);
    server.redirect(jar_of("g:moved:1"), jar_of("g:target:1"));
    server.add_file("g/moved/1/moved-1.jar.sha1",
                    testing::read_file(server.root() / "g/target/1/target-1.jar.sha1"));
    server.stall_after(jar_of("g:stalled:1"), 0);
    server.add_file("g/bad-sum/1/bad-sum-1.jar.sha1", std::string(40, '0') + "  x.jar\n");
    server.fail_with(jar_of("g:no-sum:1") + ".sha1", 404);
    server.add_file("g/no-sum/1/no-sum-1.jar", std::string("PK\x03\x04", 4) + "entries");
    server.add_file("g/empty/1/empty-1.jar", "");
  }

  Outcome run(std::size_t jobs, const std::string& project_name) {
    return run(jobs, project_name, context);
  }

  Outcome run(std::size_t jobs, const std::string& project_name, host::ExecutableHost& host) {
    const fs::path project = dir / project_name;
    // Short, but long enough that a connection to a loaded loopback server
    // (a sanitizer build on a busy machine) is not taken for a stall.
    ProvellTask task(host, project.string(), (dir / "profiles").string(), std::nullopt,
                     {jobs, std::chrono::seconds(3), std::chrono::seconds(3)});
    Outcome outcome;
    std::tie(outcome.downloaded, outcome.failed) = lists(task.download_jdbc_jars({"hive"}));
    outcome.report = printed();
    const std::string folder = (project / ".zarn" / "jdbc_jars").string();
    for (auto at = outcome.report.find(folder); at != std::string::npos;
         at = outcome.report.find(folder)) {
      outcome.report.replace(at, folder.size(), "JARS");
    }
    for (const auto& entry : fs::directory_iterator(project / ".zarn" / "jdbc_jars")) {
      outcome.files.emplace_back(entry.path().filename().string(), entry.file_size());
    }
    std::sort(outcome.files.begin(), outcome.files.end());
    return outcome;
  }
};

TEST_F(ParallelDownloadTest, ManyTransfersAtOnceGiveWhatOneAtATimeGives) {
  build_mirror();
  const Outcome one = run(1, "one");
  const Outcome many = run(8, "many");
  const std::string warnings = err.str();

  EXPECT_EQ(many.report, one.report);
  EXPECT_EQ(many.downloaded, one.downloaded);
  EXPECT_EQ(many.failed, one.failed);
  EXPECT_EQ(many.files, one.files);
  EXPECT_EQ(server.requests(MavenServer::path_of("g:z:1", "pom")), 0);  // four levels down
  // g:b names g:x one level down, but the walk reached g:x first at the last
  // level: neither run reads below it, the look-ahead included.
  EXPECT_EQ(server.requests(MavenServer::path_of("g:y:1", "pom")), 0);

  EXPECT_EQ(one.failed, (Names{"g:../up:1", "bad-sum-1.jar", "cut-1.jar", "dup-1.jar",
                               "empty-1.jar", "missing-1.jar", "stalled-1.jar", "h:dup:1"}));
  EXPECT_NE(one.report.find("    Transitive dependencies: 15\n"), std::string::npos);
  for (const std::string& line : {
           "      Downloading bad-sum-1.jar...\n        ✗ Failed: checksum mismatch (expected " +
               std::string(40, '0') + ", got ",
           std::string("      Downloading dup-1.jar...\n        ✗ Failed: HTTP Error 404: Not "
                       "Found\n"),
           std::string("      ✗ Error with h:dup:1: archive name dup-1.jar is already used by "
                       "g:dup:1\n"),
           std::string("      Downloading empty-1.jar...\n        ✗ Failed: empty response\n"),
           std::string("      Downloading moved-1.jar...\n        ✓ Downloaded (0.2 MB)\n"),
           std::string("      Downloading stalled-1.jar...\n        ✗ Failed: timed out: no data "
                       "for 3 seconds\n"),
       }) {
    EXPECT_NE(one.report.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(warnings,
            "zarn: ⚠ no-sum-1.jar: the repository has no checksum for it; stored unverified\n"
            "zarn: ⚠ no-sum-1.jar: the repository has no checksum for it; stored unverified\n");
}

TEST_F(ParallelDownloadTest, ManyStreamsOverHttp2GiveWhatOneAtATimeGives) {
  if (!testing::NghttpdServer::available()) GTEST_SKIP() << "nghttpd is not installed";
  // The same tree as plain files: a fault only the scripted server plays
  // (a cut, a stall, a redirect) becomes a whole file or a 404.
  build_mirror();
  const testing::TlsCertificate certificate;
  const testing::TempDir docroot;
  fs::create_directory_symlink(server.root(), docroot / "maven2");
  std::map<std::size_t, Outcome> outcomes;
  std::map<std::size_t, Names> requests;
  for (const std::size_t jobs : {1, 8}) {
    testing::NghttpdServer repository(docroot.path(), certificate);
    host::ExecutableHost secure(terminal::Printer(out, err, {}),
                                os::Environment(std::map<std::string, std::string>{
                                    // a cache of its own: both runs fetch everything
                                    {"HOME", (dir / ("home-" + std::to_string(jobs))).string()},
                                    {"ZARN_MAVEN_REPO", repository.url() + "/maven2"},
                                    {"CURL_CA_BUNDLE", certificate.certificate().string()}}));
    outcomes[jobs] = run(jobs, "h2-" + std::to_string(jobs), secure);
    repository.stop();
    requests[jobs] = repository.request_paths();
    std::sort(requests[jobs].begin(), requests[jobs].end());
    EXPECT_EQ(repository.connections(), 1) << jobs;
  }
  EXPECT_EQ(outcomes[8].report, outcomes[1].report);
  EXPECT_EQ(outcomes[8].downloaded, outcomes[1].downloaded);
  EXPECT_EQ(outcomes[8].failed, outcomes[1].failed);
  EXPECT_EQ(outcomes[8].files, outcomes[1].files);
  EXPECT_EQ(requests[8], requests[1]);
  EXPECT_NE(outcomes[1].report.find("    Transitive dependencies: 15\n"), std::string::npos);
}

TEST_F(ParallelDownloadTest, ATreeOverTheBoundLeavesNothingOverHttp2) {
  if (!testing::NghttpdServer::available()) GTEST_SKIP() << "nghttpd is not installed";
  build_mirror();
  const testing::TlsCertificate certificate;
  const testing::TempDir docroot;
  fs::create_directory_symlink(server.root(), docroot / "maven2");
  testing::NghttpdServer repository(docroot.path(), certificate);
  host::ExecutableHost secure(terminal::Printer(out, err, {}),
                              os::Environment(std::map<std::string, std::string>{
                                  {"HOME", (dir / "home").string()},
                                  {"ZARN_MAVEN_REPO", repository.url() + "/maven2"},
                                  {"CURL_CA_BUNDLE", certificate.certificate().string()}}));
  // Archives start as the walk reaches them; the refusal comes at g:b's list.
  TransferSettings bound;
  bound.max_archives = 14;
  ProvellTask task(secure, (dir / "bound").string(), (dir / "profiles").string(), std::nullopt,
                   bound);
  EXPECT_THROW(task.download_jdbc_jars({"hive"}), std::runtime_error);
  EXPECT_TRUE(fs::is_empty(dir / "bound" / ".zarn" / "jdbc_jars"));
}

}  // namespace
}  // namespace zarn::provell
