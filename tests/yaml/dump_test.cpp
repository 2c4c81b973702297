#include "yaml/dump.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "yaml/load.h"

#include "yaml/node_builders.h"

namespace zarn::yaml {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the builders read as literals

TEST(Dump, ProfilesMappingExactText) {
  const Node doc = load(
      "profiles:\n"
      "  prod: {port: 5432, hosts: [db1, db2], debug: no, ratio: 0.5, tags: [], env: {}}\n"
      "  dev: {port: '5432', note: 'yes', owner: ~, since: 2024-01-31}\n"
      "default: dev\n");
  EXPECT_EQ(dump(doc),
            "default: dev\n"
            "profiles:\n"
            "  dev:\n"
            "    note: 'yes'\n"
            "    owner: null\n"
            "    port: '5432'\n"
            "    since: 2024-01-31\n"
            "  prod:\n"
            "    debug: false\n"
            "    env: {}\n"
            "    hosts:\n"
            "    - db1\n"
            "    - db2\n"
            "    port: 5432\n"
            "    ratio: 0.5\n"
            "    tags: []\n");
}

TEST(Dump, SequenceUnderKeyIsNotIndented) {
  EXPECT_EQ(dump(load("b: [x, y]\na: 1\n")), "a: 1\nb:\n- x\n- y\n");
}

TEST(Dump, ScalarForms) {
  const struct {
    Node value;
    const char* text;
  } cases[] = {
      {Node(), "null"},
      {Node::boolean(true), "true"},
      {Node::integer(Integer::from_decimal("-12345678901234567890123")),
       "-12345678901234567890123"},
      {Node::floating(1e16), "1.0e+16"},
      {Node::floating(1.5e-7), "1.5e-07"},
      {Node::floating(0.1), "0.1"},
      {Node::floating(3.0), "3.0"},
      {Node::floating(-0.0), "-0.0"},
      {Node::floating(1e15), "1000000000000000.0"},
      {Node::floating(kInf), ".inf"},
      {Node::floating(-kInf), "-.inf"},
      {Node::floating(std::nan("")), ".nan"},
      {Node::timestamp(Timestamp::date(2024, 1, 31)), "2024-01-31"},
      {Node::timestamp(Timestamp::date_time(2024, 1, 31, 1, 2, 3, 40, -90)),
       "2024-01-31 01:02:03.000040-01:30"},
      {str("plain text"), "plain text"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(dump(Node::sequence({c.value})), std::string("- ") + c.text + "\n") << c.text;
  }
}

// Strings that would read back as another type, or not at all, are quoted.
TEST(Dump, QuotesStringsThatLookLikeOtherTypes) {
  for (const char* text : {"5432", "yes", "No", "null", "~", "0755", "2024-01-31", "", "1.5", "=",
                           "<<", ".inf", "1:30", "0x1F", "0b_", "2024-02-30", "True"}) {
    const std::string out = dump(Node::sequence({str(text)}));
    EXPECT_EQ(out, std::string("- '") + text + "'\n") << text;
  }
  for (const char* text : {"1e3", "0o17", "08", "prod", "yes please", "1.0e3"}) {
    EXPECT_EQ(dump(Node::sequence({str(text)})), std::string("- ") + text + "\n") << text;
  }
}

TEST(Dump, SharedCollectionsGetAnchors) {
  const Node shared = Node::sequence({str("x")});
  const Node other = Node::mapping({{str("k"), str("v")}});
  const Node doc = Node::mapping(
      {{str("b"), shared}, {str("a"), shared}, {str("c"), Node::sequence({other, other, shared})}});
  EXPECT_EQ(dump(doc),
            "a: &id001\n"
            "- x\n"
            "b: *id001\n"
            "c:\n"
            "- &id002\n"
            "  k: v\n"
            "- *id002\n"
            "- *id001\n");
}

TEST(Dump, ScalarsAreNotAnchored) {
  const Node doc = load("a: &x hello\nb: *x\n");
  EXPECT_EQ(dump(doc), "a: hello\nb: hello\n");
}

TEST(Dump, TopLevelScalarsReadBack) {
  for (const Node& value : {Node(), Node::integer(5), str("text"), str("5"), str("")}) {
    EXPECT_EQ(load(dump(value)), value) << dump(value);
  }
}

TEST(Dump, InvalidUtf8IsRejected) {
  EXPECT_THROW(dump(Node::sequence({str("bad \xff byte")})), std::invalid_argument);
}

}  // namespace
}  // namespace zarn::yaml
