#include <chrono>
#include <set>
#include <stdexcept>

#include "support/fake_host.h"
#include "task/provell/maven_fixture.h"
#include "text/printable.h"

namespace zarn::provell {
namespace {

using testing::MavenServer;
using testing::PomDep;
using Coords = std::set<std::string>;

using ResolveTest = MavenTest;

std::string pom_of(const std::string& coord) {
  return MavenServer::path_of(coord, "pom");
}

TEST_F(ResolveTest, CoordinatesBecomeRepositoryAddresses) {
  const std::string repo = server.repo_url();
  const struct {
    std::string coord;
    std::string url;
    std::string jar_name;
  } cases[] = {
      {"org.postgresql:postgresql:42.7.4",
       repo + "/org/postgresql/postgresql/42.7.4/postgresql-42.7.4.jar", "postgresql-42.7.4.jar"},
      {"com.google.cloud.bigdataoss:gcs-connector:hadoop3-2.2.22",
       repo + "/com/google/cloud/bigdataoss/gcs-connector/hadoop3-2.2.22/"
              "gcs-connector-hadoop3-2.2.22.jar",
       "gcs-connector-hadoop3-2.2.22.jar"},
      {"g:a:v:x", repo + "/g/a/v/a-v.jar", "a-v.jar"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(task()._maven_coord_to_url(test.coord), std::pair(test.url, test.jar_name));
  }
}

TEST_F(ResolveTest, CoordinatesThatNameNoPlainArchiveAreRejected) {
  for (const std::string& coord : std::vector<std::string>{
           "a:b", "", "g:../../x:1", "g:a:1/../../y", "g:a\\b:1", std::string("g:a\0b:1", 7),
           "..:a:1", "g:.:1", "g:a:..", "g:a:1?x=1", "g:a#b:1", "g:a%2e:1", "g:a b:1", "g\t:a:1",
           "g/h:a:1", "g:a:1\x7f", "g:a\xc2\x9b:1", "g:a:1\xe2\x80\xae", "g\xe2\x81\xa6:a:1"}) {
    try {
      task()._maven_coord_to_url(coord);
      ADD_FAILURE() << coord;
    } catch (const std::invalid_argument& error) {
      EXPECT_EQ(error.what(), "Invalid Maven coordinate: " + text::printable(coord));
    }
  }
}

TEST_F(ResolveTest, SelfContainedDriversAndNonCoordinatesNeedNoRequest) {
  EXPECT_EQ(task()._resolve_transitive_deps("org.postgresql:postgresql:42.7.4"),
            Coords{"org.postgresql:postgresql:42.7.4"});
  EXPECT_EQ(task()._resolve_transitive_deps("a:b"), Coords{});
  Coords given{"x:y:1"};
  task()._resolve_transitive_deps("a:b", given, 0);
  EXPECT_EQ(given, Coords{"x:y:1"});
  EXPECT_EQ(server.total_requests(), 0);
}

TEST_F(ResolveTest, FollowsOnlyRunTimeDependenciesOfEverySection) {
  const std::string hive = "org.apache.hive:hive-jdbc:3.1.3";
  std::string listed;
  for (const PomDep& dep : std::vector<PomDep>{
           {"g", "common", "3.1.3"},
           {"g", "unit", "4", "test"},
           {"g", "servlet", "3", "provided"},
           {"g", "capital-test", "1", "Test"},
           {"g", "runtime", "1", "runtime"},
           {"g", "opt", "1", "", "true"},
           {"g", "not-opt", "1", "", "false"},
           {"g", "upper-opt", "1", "", "TRUE"},
           {"g", "property", "${project.version}"},
           {"org.postgresql", "postgresql", "42"},
       }) {
    listed += testing::dependency_xml(dep);
  }
  server.add_pom(hive,
                 "<project xmlns=\"http://maven.apache.org/POM/4.0.0\"><dependencyManagement>"
                 "<dependencies>" +
                     testing::dependency_xml({"m", "managed", "1"}) +
                     "</dependencies></dependencyManagement><dependencies>" + listed +
                     "<dependency><groupId>g</groupId><artifactId>no-version</artifactId>"
                     "</dependency></dependencies><build><plugins><plugin><dependencies>" +
                     testing::dependency_xml({"p", "plugin-dep", "2"}) +
                     "</dependencies></plugin></plugins></build></project>");
  server.add_pom("g:common:3.1.3", std::vector<PomDep>{{"g", "deep", "1"}});

  EXPECT_EQ(task()._resolve_transitive_deps(hive),
            (Coords{hive, "m:managed:1", "g:common:3.1.3", "g:deep:1", "g:capital-test:1",
                    "g:runtime:1", "g:not-opt:1", "g:upper-opt:1", "g:property:${project.version}",
                    "org.postgresql:postgresql:42", "p:plugin-dep:2"}));
  EXPECT_EQ(server.requests(pom_of("org.postgresql:postgresql:42")), 0);
  EXPECT_EQ(server.requests(pom_of("g:unit:4")), 0);
  EXPECT_EQ(server.requests(pom_of("g:common:3.1.3")), 1);
  EXPECT_LE(server.connections(), static_cast<int>(TransferSettings{}.jobs));
}

TEST_F(ResolveTest, KeepsThreeLevelsBelowTheDriver) {
  for (const char* link : {"a", "b", "c", "d"}) {
    server.add_pom(std::string("g:") + link + ":1",
                   std::vector<PomDep>{{"g", std::string(1, static_cast<char>(link[0] + 1))}});
  }
  EXPECT_EQ(task()._resolve_transitive_deps("g:a:1"), (Coords{"g:a:1", "g:b:1", "g:c:1", "g:d:1"}));
  EXPECT_EQ(server.requests(pom_of("g:d:1")), 1);
  EXPECT_EQ(server.requests(pom_of("g:e:1")), 0);
}

TEST_F(ResolveTest, EachDescriptorIsReadOncePerResolution) {
  server.add_pom("g:a:1", std::vector<PomDep>{{"g", "b"}, {"g", "b"}});
  server.add_pom("g:b:1", std::vector<PomDep>{{"g", "a"}});
  EXPECT_EQ(task()._resolve_transitive_deps("g:a:1"), (Coords{"g:a:1", "g:b:1"}));
  EXPECT_EQ(server.total_requests(), 2);
  task()._resolve_transitive_deps("g:a:1");  // a new resolution reads the driver cache
  EXPECT_EQ(server.total_requests(), 2);
  settings.cache = CacheUse::kOff;  // and without it, the repository again
  make_task();
  task()._resolve_transitive_deps("g:a:1");
  EXPECT_EQ(server.total_requests(), 4);
}

TEST_F(ResolveTest, AnUnreadableDescriptorEndsOnlyItsOwnExpansion) {
  const std::string some_deps =
      "<dependency><groupId>g</groupId><artifactId>x</artifactId>"
      "<version>1</version></dependency>";
  const struct {
    std::string name;
    std::string body;  ///< served as g:broken:1's descriptor; empty means a 404
  } cases[] = {
      {"404", ""},
      {"invalid UTF-8", testing::pom_text({{"g", "x"}}) + "\xFF"},
      {"malformed after dependencies",
       "<project xmlns=\"http://maven.apache.org/POM/4.0.0\"><dependencies>" + some_deps +
           "<dependency></dependencies></project>"},
      {"no POM namespace", "<project><dependencies>" + some_deps + "</dependencies></project>"},
  };
  for (const auto& test : cases) {
    MavenServer fresh;
    if (!test.body.empty()) fresh.add_pom("g:broken:1", test.body);
    fresh.add_pom("g:top:1", std::vector<PomDep>{{"g", "broken"}, {"g", "sibling"}});
    testing::FakeHost host(dir / "home", {{"ZARN_MAVEN_REPO", fresh.repo_url()}});
    EXPECT_EQ(ProvellTask(host, project().string())._resolve_transitive_deps("g:top:1"),
              (Coords{"g:top:1", "g:broken:1", "g:sibling:1"}))
        << test.name;
  }
}

TEST_F(ResolveTest, ACoordinateThatWouldLeaveTheDriverFolderIsKeptButNotFetched) {
  server.add_pom("g:top:1", std::vector<PomDep>{{"g", "../../evil"}, {"g", "fine"}});
  EXPECT_EQ(task()._resolve_transitive_deps("g:top:1"),
            (Coords{"g:top:1", "g:../../evil:1", "g:fine:1"}));
  EXPECT_EQ(server.request_log(), (std::vector{pom_of("g:top:1"), pom_of("g:fine:1")}));
}

TEST_F(ResolveTest, ADescriptorThatNeverAnswersOrTricklesTimesOut) {
  server.add_pom("g:slow:1", std::vector<PomDep>{{"g", "never-seen"}});
  server.add_pom("g:trickle:1", std::vector<PomDep>{{"g", "never-seen-either"}});
  server.stall_after(pom_of("g:slow:1"), 0);
  server.slow_body(pom_of("g:trickle:1"), 1, 100);
  settings.descriptor_timeout = std::chrono::seconds(1);
  make_task();
  EXPECT_EQ(task()._resolve_transitive_deps("g:slow:1"), Coords{"g:slow:1"});
  EXPECT_EQ(task()._resolve_transitive_deps("g:trickle:1"), Coords{"g:trickle:1"});
}

TEST_F(ResolveTest, ATreeOverTheBoundIsRefusedBeforeAnyArchiveIsFetched) {
  const std::string hive = "org.apache.hive:hive-jdbc:3.1.3";
  server.add_pom(hive, std::vector<PomDep>{{"g", "a"}, {"g", "b"}, {"g", "c"}});
  settings.max_archives = 3;
  make_task();
  try {
    task().download_jdbc_jars({"hive", "postgres"});
    ADD_FAILURE() << "not refused";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "the driver " + hive +
                  " needs more than 3 archives, more than one sync brings; nothing was downloaded");
  }
  for (const std::string& path : server.request_log()) {
    EXPECT_FALSE(path.ends_with(".jar")) << path;
  }
}

}  // namespace
}  // namespace zarn::provell
