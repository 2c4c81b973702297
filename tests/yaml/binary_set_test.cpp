// !!binary and !!set: read as PyYAML's safe_load reads them, written as its dump writes them.

#include <gtest/gtest.h>

#include "yaml/dump.h"
#include "yaml/load.h"

namespace zarn::yaml {
namespace {

TEST(Binary, ReadsBase64InAnyLayout) {
  const struct {
    const char* text;
    std::string bytes;
  } cases[] = {
      {"!!binary aGVsbG8gd29ybGQ=", "hello world"},
      {"!!binary |\n  aGVs\n  bG8=\n", "hello"},
      {"!!binary ' aG k= '", "hi"},
      {"!!binary aGk==", "hi"},  // surplus padding, as Python accepts it
      {"!!binary AP8A", std::string("\0\xff\0", 3)},
      {"!!binary ''", ""},
      {"!!binary", ""},
  };
  for (const auto& c : cases) {
    const Node node = load(c.text);
    ASSERT_EQ(node.kind(), Kind::Bytes) << c.text;
    EXPECT_EQ(node.as_bytes(), c.bytes) << c.text;
  }
}

TEST(Set, MembersInFileOrder) {
  const Node doc = load(
      "base: &b {x: null}\n"
      "roles: !!set {<<: *b, admin, reader: null, ? 1, 1.0, ? !!binary aGk=}\n"
      "ref: &r !!set {y}\n"
      "again: {<<: *r}\n");
  ASSERT_TRUE(doc.find("roles")->is_set());
  const std::vector<Node> members = doc.find("roles")->members();
  ASSERT_EQ(members.size(), 5u);  // 1.0 is the member 1 again
  EXPECT_EQ(members[0], Node::string("x"));
  EXPECT_EQ(members[1], Node::string("admin"));
  EXPECT_EQ(members[3].kind(), Kind::Int);
  EXPECT_EQ(members[4], Node::binary("hi"));
  EXPECT_EQ(*doc.find("again"), Node::mapping({{Node::string("y"), Node()}}));  // merged as keys
}

// Where PyYAML drops a !!set value, skips stray base64 characters or data
// after the padding, an error keeps a rewrite from losing them.
TEST(BinaryAndSet, RefuseWhatTheyCannotHold) {
  constexpr const char* kNotBase64 = "cannot read this value as !!binary (not valid base64)";
  constexpr const char* kSetValue = "a !!set member cannot have a value other than null";
  const struct {
    const char* text;
    std::size_t column;
    const char* problem;
  } cases[] = {
      {"s: !!set {a: 1}", 14, kSetValue},
      {"s: !!set {<<: {a: 1}}", 15, kSetValue},
      {"s: !!set [a]", 4, "expected a mapping node, but found sequence"},
      {"s: !!set a", 4, "expected a mapping node, but found scalar"},
      {"s: !!binary [a]", 4, "expected a scalar node, but found sequence"},
      {"s: !!set {[a]}", 11, "found unhashable key"},
      {"? !!set {a}\n: 1", 3, "found unhashable key"},
      {"b: !!binary aGVsbG8", 4, kNotBase64},  // padding missing
      {"b: !!binary 'aGVs!bG8='", 4, kNotBase64},
      {"b: !!binary aGk=aGk=", 4, kNotBase64},
      {"b: !!binary 'é'", 4, kNotBase64},
  };
  for (const auto& c : cases) {
    try {
      load(c.text);
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const ParseError& e) {
      EXPECT_EQ(e.column(), c.column) << c.text;
      EXPECT_EQ(e.problem(), c.problem) << c.text;
    }
  }
}

// The text PyYAML 6's dump writes for the same values.
TEST(Dump, BinaryAndSetsAsPyYamlWritesThem) {
  const struct {
    const char* text;
    const char* dumped;
  } cases[] = {
      {"blob: !!binary aGVsbG8gd29ybGQ=", "blob: !!binary |\n  aGVsbG8gd29ybGQ=\n"},
      {"blob: !!binary ''", "blob: !!binary \"\"\n"},
      {"roles: !!set {reader, admin}", "roles: !!set\n  admin: null\n  reader: null\n"},
      {"roles: !!set {}", "roles: !!set {}\n"},
      {"? !!binary aGk=\n: 1", "? !!binary |\n  aGk=\n: 1\n"},
      {"s: !!set {hi, !!binary aGk=}",
       "s: !!set\n  hi: null\n  ? !!binary |\n    aGk=\n  : null\n"},
      {"s: &x !!set {a}\nt: *x", "s: &id001 !!set\n  a: null\nt: *id001\n"},
      {"s: &x !!binary aGk=\nt: *x", "s: !!binary |\n  aGk=\nt: !!binary |\n  aGk=\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(dump(load(c.text)), c.dumped) << c.text;
}

TEST(Dump, Base64LinesHoldAtMost76Characters) {
  std::string line;
  for (int i = 0; i < 19; ++i) line += "QUFB";  // "AAA" in base64; 76 characters
  const Node blob = Node::binary(std::string(120, 'A'));
  EXPECT_EQ(dump(blob), "!!binary |\n  " + line + "\n  " + line + "\n  QUFBQUFB\n");
}

}  // namespace
}  // namespace zarn::yaml
