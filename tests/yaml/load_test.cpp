#include "yaml/load.h"

#include <gtest/gtest.h>

#include "yaml/node_builders.h"

namespace zarn::yaml {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the builders read as literals

TEST(Load, ProfilesFile) {
  const Node doc = load(
      "# profiles\n"
      "default: dev\n"
      "profiles:\n"
      "  dev:\n"
      "    port: 5432\n"
      "    debug: yes\n"
      "    ratio: 0.25\n"
      "    hosts: [a, 'b']\n"
      "    owner: ~\n");
  ASSERT_TRUE(doc.is_mapping());
  EXPECT_EQ(doc.find("default")->as_string(), "dev");
  const Node& dev = *doc.find("profiles")->find("dev");
  EXPECT_EQ(dev.find("port")->as_integer().to_int64(), 5432);
  EXPECT_TRUE(dev.find("debug")->as_bool());
  EXPECT_EQ(dev.find("ratio")->as_float(), 0.25);
  EXPECT_EQ(*dev.find("hosts"), Node::sequence({str("a"), str("b")}));
  EXPECT_TRUE(dev.find("owner")->is_null());
  std::vector<std::string> keys;
  for (const Pair& pair : dev.entries()) keys.push_back(pair.first.as_string());
  EXPECT_EQ(keys, (std::vector<std::string>{"port", "debug", "ratio", "hosts", "owner"}));
}

TEST(Load, EmptyStreamsAreNull) {
  for (const char* text : {"", "# only a comment\n", "\n\n", "---\n", "--- \n...\n"}) {
    EXPECT_TRUE(load(text).is_null()) << text;
  }
}

TEST(Load, KeysOfOtherTypes) {
  const Node doc = load("1: a\n1.5: b\nnull: c\ntrue: d\n2024-01-31: e\n");
  EXPECT_EQ(doc.size(), 4u);  // true is the same key as 1
  EXPECT_EQ(doc.find(num(1))->as_string(), "d");
  EXPECT_EQ(doc.entries()[0].first.kind(), Kind::Int);  // the first key object stays
  EXPECT_EQ(doc.find(Node::floating(1.5))->as_string(), "b");
  EXPECT_EQ(doc.find(Node())->as_string(), "c");
  EXPECT_EQ(doc.find(Node::timestamp(Timestamp::date(2024, 1, 31)))->as_string(), "e");
}

TEST(Load, DuplicateKeysKeepFirstPositionLastValue) {
  const Node doc = load("a: 1\nb: 2\na: 3\n");
  ASSERT_EQ(doc.size(), 2u);
  EXPECT_EQ(doc.entries()[0].first.as_string(), "a");
  EXPECT_EQ(doc.entries()[0].second, num(3));
  EXPECT_EQ(doc.entries()[1].second, num(2));
}

TEST(Load, AliasIsTheSameObject) {
  Node doc = load("base: &b {x: [1]}\nuse: *b\nlist: [*b]\n");
  const Node& base = *doc.find("base");
  EXPECT_TRUE(base.same(*doc.find("use")));
  EXPECT_TRUE(base.same(doc.find("list")->items()[0]));
  doc.find("use")->set("y", num(2));  // shared, as in Python
  EXPECT_TRUE(base.contains("y"));
}

TEST(Load, EqualsAndValueKeys) {
  const Node doc = load("=: eq\n'=': quoted\n");
  EXPECT_EQ(doc.size(), 1u);
  EXPECT_EQ(doc.find("=")->as_string(), "quoted");
}

struct MergeCase {
  const char* name;
  const char* text;
  const char* expected;  // the same mapping, written out without merges
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const MergeCase& c, std::ostream* out) {
  *out << c.name;
}

class Merge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(Merge, BuildsMapping) {
  const Node got = *load(GetParam().text).find("m");
  const Node want = load(GetParam().expected);
  EXPECT_EQ(got, want) << got.str();
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {  // order matters too
    EXPECT_EQ(got.entries()[i].first, want.entries()[i].first) << got.str();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Merge,
    ::testing::Values(
        MergeCase{"OneMapping", "b: &b {x: 1, y: 2}\nm:\n  <<: *b\n  z: 3\n", "{x: 1, y: 2, z: 3}"},
        MergeCase{"OwnKeysWinAndKeepMergedPosition",
                  "b: &b {x: 1, y: 2}\nm:\n  z: 3\n  <<: *b\n  x: 9\n", "{x: 9, y: 2, z: 3}"},
        MergeCase{"EarlierMappingsInAListWin",
                  "p: &p {x: 1, a: 1}\nq: &q {x: 2, b: 2}\nm: {<<: [*p, *q]}\n",
                  "{x: 1, b: 2, a: 1}"},
        MergeCase{"InlineMapping", "m: {<<: {a: 1}, b: 2}\n", "{a: 1, b: 2}"},
        MergeCase{"NestedMerges", "a: &a {x: 1}\nb: &b {<<: *a, y: 2}\nm: {<<: *b, z: 3}\n",
                  "{x: 1, y: 2, z: 3}"},
        MergeCase{"TwoMergeKeysLaterWins", "m: {<<: {x: 1}, <<: {x: 2}}\n", "{x: 2}"},
        MergeCase{"EmptyList", "m: {<<: [], a: 1}\n", "{a: 1}"},
        MergeCase{"QuotedIsAnOrdinaryKey", "m: {'<<': {a: 1}}\n", "{'<<': {a: 1}}"},
        MergeCase{"ExplicitTag", "m: {!!merge x: {a: 1}}\n", "{a: 1}"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Load, MergedValuesAreShared) {
  const Node doc = load("b: &b {x: [1]}\nm: {<<: *b}\n");
  EXPECT_TRUE(doc.find("b")->find("x")->same(*doc.find("m")->find("x")));
}

struct ErrorCase {
  const char* text;
  std::size_t line, column;
  const char* problem;  // the start of the message
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << '"' << c.text << '"';
}

class LoadError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(LoadError, NamesLineAndColumn) {
  const ErrorCase& c = GetParam();
  try {
    load(c.text, "p.yaml");
    FAIL() << "no error for " << c.text;
  } catch (const ParseError& e) {
    EXPECT_EQ(e.source(), "p.yaml");
    EXPECT_EQ(e.line(), c.line) << e.what();
    EXPECT_EQ(e.column(), c.column) << e.what();
    EXPECT_EQ(e.problem().rfind(c.problem, 0), 0u) << e.what();
    const std::string what = e.what();
    EXPECT_EQ(what.find('\n'), std::string::npos);
    EXPECT_EQ(what.rfind("p.yaml:" + std::to_string(c.line) + ":" + std::to_string(c.column) +
                             ": " + c.problem,
                         0),
              0u)
        << what;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadError,
    ::testing::Values(
        ErrorCase{"a: 1\n---\nb: 2\n", 2, 1, "expected a single document in the stream"},
        ErrorCase{"a: 1\n...\n---\n", 3, 1, "expected a single document in the stream"},
        ErrorCase{"a: [1, 2\n", 2, 1, "did not find expected ',' or ']'"},
        ErrorCase{"a: b: c\n", 1, 5, "mapping values are not allowed in this context"},
        ErrorCase{"a:\n  - 1\n  b: 2\n", 3, 3, "did not find expected '-' indicator"},
        ErrorCase{"a: 'open\n", 2, 1, "found unexpected end of stream"},
        ErrorCase{"a: \"\\q\"\n", 1, 5, "found unknown escape character"},
        ErrorCase{"x:\n  y: !Ref z\n", 2, 6, "could not determine a constructor for this tag"},
        ErrorCase{"x: *nope\n", 1, 4, "found undefined alias"},
        ErrorCase{"x: &a [1, *a]\n", 1, 11, "found recursive alias"},
        ErrorCase{"x: &a {y: *a}\n", 1, 11, "found recursive alias"},
        ErrorCase{"x: &a 1\ny: &a 2\n", 2, 4, "found duplicate anchor (first occurrence"},
        ErrorCase{"a: 1\n? [x]\n: 2\n", 2, 3, "found unhashable key"},
        ErrorCase{"a: 1\n{b: 1}: 2\n", 2, 1, "found unhashable key"},
        ErrorCase{"x: =\n", 1, 4,
                  "could not determine a constructor for the tag 'tag:yaml.org,2002:value'"},
        ErrorCase{"- <<\n", 1, 3,
                  "could not determine a constructor for the tag 'tag:yaml.org,2002:merge'"},
        ErrorCase{"m:\n  <<: 5\n", 2, 7,
                  "expected a mapping or list of mappings for merging, but found scalar"},
        ErrorCase{"m:\n  <<: [{a: 1}, [b]]\n", 2, 16,
                  "expected a mapping for merging, but found sequence"},
        ErrorCase{"m:\n  <<: [{a: 1}, x]\n", 2, 16,
                  "expected a mapping for merging, but found scalar"},
        ErrorCase{"d: 2024-02-30\n", 1, 4, "cannot read this value as !!timestamp"},
        ErrorCase{"a: \x01\n", 1, 4, "control characters are not allowed"},
        ErrorCase{"a: b\nc: \xc3\x28\n", 2, 4, "invalid trailing UTF-8 octet"},
        ErrorCase{"\xff", 1, 1, "invalid leading UTF-8 octet"},
        ErrorCase{"a: \xe2\x82", 1, 4, "incomplete UTF-8 octet sequence"}));

TEST(Load, ErrorMessageIsOneLine) {
  try {
    load("a: [1, 2\n", "p.yaml");
    FAIL();
  } catch (const ParseError& e) {
    EXPECT_STREQ(e.what(),
                 "p.yaml:2:1: did not find expected ',' or ']' (while parsing a flow sequence at "
                 "line 1, column 4)");
  }
}

TEST(Load, ValueErrorsNameTheTypeButNeverTheValue) {
  for (const std::string type : {"int", "float", "bool", "timestamp", "binary"}) {
    const std::string text = "dev:\n  user: me\n  password: !!" + type + " hunter2SECRET\n";
    try {
      load(text, "profiles.yml");
      ADD_FAILURE() << "no error for " << text;
    } catch (const ParseError& e) {
      const std::string what = e.what();
      EXPECT_TRUE(what.starts_with("profiles.yml:3:13: cannot read this value as !!" + type))
          << what;
      EXPECT_EQ(what.find("hunter2"), std::string::npos) << what;
    }
  }
}

TEST(Load, NulByteIsAnError) {
  EXPECT_THROW(load(std::string_view("a: b\0c\n", 7)), ParseError);
}

}  // namespace
}  // namespace zarn::yaml
