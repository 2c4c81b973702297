#include "task/provell/pom.h"

#include <gtest/gtest.h>

namespace zarn::provell {
namespace {

const std::string kOpen = "<project xmlns=\"http://maven.apache.org/POM/4.0.0\">";
const std::string kClose = "</project>";

PomDependency dep(std::optional<std::string> group, std::optional<std::string> artifact,
                  std::optional<std::string> version, std::optional<std::string> scope = {},
                  std::optional<std::string> optional = {}) {
  return {std::move(group), std::move(artifact), std::move(version), std::move(scope),
          std::move(optional)};
}

TEST(PomDependencies, ReadsWhatTheDependencyElementsSay) {
  const struct {
    std::string name;
    std::string body;
    std::vector<PomDependency> expected;
  } cases[] = {
      {"every section, in document order",
       "<dependencyManagement><dependencies><dependency><groupId>m</groupId>"
       "<artifactId>managed</artifactId><version>1</version></dependency></dependencies>"
       "</dependencyManagement><dependencies><dependency><groupId>g</groupId>"
       "<artifactId>a</artifactId><version>2</version><scope>test</scope>"
       "<optional>true</optional></dependency></dependencies><build><plugins><plugin>"
       "<dependencies><dependency><groupId>p</groupId><artifactId>plug</artifactId>"
       "<version>3</version></dependency></dependencies></plugin></plugins></build>",
       {dep("m", "managed", "1"), dep("g", "a", "2", "test", "true"), dep("p", "plug", "3")}},
      {"text is untrimmed and only the first child of a name counts",
       "<dependency><groupId> g\n</groupId><artifactId>a</artifactId><artifactId>b</artifactId>"
       "<version>1</version></dependency>",
       {dep(" g\n", "a", "1")}},
      {"missing children stay absent",
       "<dependency><artifactId>a</artifactId></dependency>",
       {dep({}, "a", {})}},
      {"an element without text is spelled None",
       "<dependency><groupId/><artifactId></artifactId><version>1</version></dependency>",
       {dep("None", "None", "1")}},
      {"text stops at the first child element; comments do not split it",
       "<dependency><groupId>g<!-- c -->h<x/>tail</groupId><artifactId>a</artifactId>"
       "<version>1</version></dependency>",
       {dep("gh", "a", "1")}},
      {"grandchildren are not children",
       "<dependency><wrap><groupId>g</groupId></wrap><artifactId>a</artifactId>"
       "<version>1</version></dependency>",
       {dep({}, "a", "1")}},
      {"entities and CDATA are decoded",
       "<dependency><groupId>a&amp;b</groupId><artifactId><![CDATA[x<y]]></artifactId>"
       "<version>&#49;</version></dependency>",
       {dep("a&b", "x<y", "1")}},
      {"elements of another namespace are not POM elements",
       "<o:dependency xmlns:o=\"urn:other\"><groupId>g</groupId><artifactId>a</artifactId>"
       "<version>1</version></o:dependency><dependency><o:groupId xmlns:o=\"urn:other\">"
       "x</o:groupId><artifactId>a</artifactId></dependency>",
       {dep({}, "a", {})}},
      {"nested dependencies are each listed, outer first",
       "<dependency><groupId>outer</groupId><dependency><groupId>inner</groupId>"
       "</dependency><artifactId>a</artifactId></dependency>",
       {dep("outer", "a", {}), dep("inner", {}, {})}},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(parse_pom_dependencies(kOpen + test.body + kClose), test.expected) << test.name;
  }
}

TEST(PomDependencies, OnlyDescendantsOfTheRootCountAndTheNamespaceIsRequired) {
  EXPECT_TRUE(parse_pom_dependencies(
                  "<dependency xmlns=\"http://maven.apache.org/POM/4.0.0\"><groupId>g</groupId>"
                  "</dependency>")
                  .empty());
  EXPECT_TRUE(parse_pom_dependencies("<project><dependencies><dependency><groupId>g</groupId>"
                                     "<artifactId>a</artifactId><version>1</version>"
                                     "</dependency></dependencies></project>")
                  .empty());
}

TEST(PomDependencies, TheDeclaredEncodingIsOverriddenByUtf8) {
  const std::string body = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + kOpen +
                           "<dependency><groupId>\xC3\xA9</groupId></dependency>" + kClose;
  EXPECT_EQ(parse_pom_dependencies(body), std::vector{dep("\xC3\xA9", {}, {})});
}

TEST(PomDependencies, ADocumentTypeLineWithoutDeclarationsIsRead) {
  for (const std::string doctype : {"<!DOCTYPE project>", "<!DOCTYPE project []>"}) {
    const std::string body = "<?xml version=\"1.0\"?>\n" + doctype + "\n" + kOpen +
                             "<dependency><groupId>g</groupId></dependency>" + kClose;
    EXPECT_EQ(parse_pom_dependencies(body), std::vector{dep("g", {}, {})}) << doctype;
  }
}

TEST(PomDependencies, BrokenDocumentsYieldNothing) {
  const std::string some = "<dependency><groupId>g</groupId></dependency>";
  const struct {
    std::string name;
    std::string body;
  } cases[] = {
      {"invalid start byte", kOpen + some + "\xFF" + kClose},
      {"overlong encoding", kOpen + some + "\xC0\xAF" + kClose},
      {"encoded surrogate", kOpen + some + "\xED\xA0\x80" + kClose},
      {"truncated sequence", kOpen + some + kClose + "\xE2\x82"},
      {"malformed after some dependencies", kOpen + some + some + "<oops>" + kClose},
      {"empty body", ""},
      {"not XML", "HTTP 200 but not a descriptor"},
      {"billion laughs",
       "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">"
       "<!ENTITY lol2 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
       "<!ENTITY lol3 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">"
       "<!ENTITY lol4 \"&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;&lol3;\">"
       "<!ENTITY lol5 \"&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;&lol4;\">"
       "<!ENTITY lol6 \"&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;&lol5;\">"
       "<!ENTITY lol7 \"&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;&lol6;\">"
       "<!ENTITY lol8 \"&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;&lol7;\">"
       "<!ENTITY lol9 \"&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;&lol8;\">]>" +
           kOpen + "<dependency><groupId>&lol9;</groupId></dependency>" + kClose},
      {"external entity", "<!DOCTYPE p [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + kOpen +
                              "<dependency><groupId>&x;</groupId></dependency>" + kClose},
      {"external parameter entity",
       "<!DOCTYPE p [<!ENTITY % x SYSTEM \"http://127.0.0.1:1/x.dtd\"> %x;]>" + kOpen + some +
           kClose},
  };
  for (const auto& test : cases) {
    EXPECT_THROW(parse_pom_dependencies(test.body), PomError) << test.name;
  }
}

}  // namespace
}  // namespace zarn::provell
