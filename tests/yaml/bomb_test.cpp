// Hostile input: alias bombs and deep nesting stay small when loaded, compared, printed and
// written.

#include <gtest/gtest.h>

#include "yaml/dump.h"
#include "yaml/load.h"

namespace zarn::yaml {
namespace {

// prefix then n. Appended, not "prefix" + std::string: g++ 12 -O3 warns
// falsely (-Wrestrict) on that concatenation.
std::string numbered(std::string_view prefix, int n) {
  std::string out(prefix);
  out += std::to_string(n);
  return out;
}

// Ten levels of ten aliases each: 10^10 leaves if it were expanded.
std::string billion_laughs() {
  std::string text = "l0: &l0 [lol, lol, lol, lol, lol, lol, lol, lol, lol, lol]\n";
  for (int level = 1; level <= 10; ++level) {
    const std::string below = numbered("*l", level - 1);
    text += numbered("l", level) + ": " + numbered("&l", level) + " [";
    for (int i = 0; i < 10; ++i) text += (i ? ", " : "") + below;
    text += "]\n";
  }
  return text;
}

TEST(Bombs, BillionLaughsStaysSmall) {
  const Node doc = load(billion_laughs());
  const Node again = load(billion_laughs());
  EXPECT_TRUE(doc == again);  // distinct objects, compared pair by pair once
  Node changed = load(billion_laughs());
  changed.find("l0")->items()[9] = Node::string("cry");
  EXPECT_FALSE(doc == changed);
  const std::string text = dump(doc);
  EXPECT_LT(text.size(), 2000u);
  EXPECT_EQ(load(text), doc);
  const std::string shown = doc.str();
  EXPECT_EQ(shown.size(), kMaxStrLength);
  EXPECT_TRUE(shown.ends_with("..."));
}

TEST(Bombs, MergeKeysCannotExpandWithoutLimit) {
  std::string text = "base: &b {";
  for (int i = 0; i < 2000; ++i) text += numbered(i ? ", k" : "k", i) + ": 1";
  text += "}\n";
  for (int i = 0; i < 2000; ++i) text += numbered("m", i) + ": {<<: *b}\n";
  try {
    load(text);
    FAIL() << "4,000,000 merged entries from a small file";
  } catch (const ParseError& e) {
    EXPECT_NE(e.problem().find("merge keys expand the document too far"), std::string::npos);
  }
}

TEST(Bombs, DeepNestingIsAnErrorNotACrash) {
  for (const std::string& text : {std::string(10000, '['), std::string(100000, '{'),
                                  std::string(50000, '[') + std::string(50000, ']')}) {
    try {
      load(text);
      FAIL();
    } catch (const ParseError& e) {
      EXPECT_NE(e.problem().find("nesting deeper than 512 levels"), std::string::npos) << e.what();
      EXPECT_EQ(e.column(), kMaxDepth + 1);
    }
  }
  std::string blocks;
  for (std::size_t i = 0; i < 600; ++i) blocks += std::string(i, ' ') + "k:\n";
  EXPECT_THROW(load(blocks), ParseError);
  std::string dashes;
  for (std::size_t i = 0; i < 600; ++i) dashes += std::string(2 * i, ' ') + "-\n";
  EXPECT_THROW(load(dashes), ParseError);
}

TEST(Bombs, NestingUpToTheLimitLoadsAndDumps) {
  const std::string text = std::string(kMaxDepth, '[') + std::string(kMaxDepth, ']');
  const Node doc = load(text);
  EXPECT_EQ(load(dump(doc)), doc);
}

TEST(Bombs, DeepValuesBuiltInCode) {
  // Destruction, ==, str() and dump must not recurse once per level.
  constexpr int kLevels = 200000;
  const auto chain = [] {
    Node root = Node::sequence();
    Node at = root;
    for (int i = 0; i < kLevels; ++i) {
      Node inner = i % 2 ? Node::sequence() : Node::mapping();
      if (at.is_sequence()) {
        at.items().push_back(inner);
      } else {
        at.set("k", inner);
      }
      at = inner;
    }
    return root;
  };
  {
    const Node a = chain();
    const Node b = chain();
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a.str().starts_with("[{'k': [{'k': "));
    EXPECT_THROW(dump(a), std::invalid_argument);
  }  // both freed here
  SUCCEED();
}

TEST(Bombs, LongIntegerLiterals) {
  EXPECT_EQ(load("0x" + std::string(5000, 'f')).as_integer().decimal().size(), 6021u);
  EXPECT_THROW(load("0x" + std::string(20000, 'f')), ParseError);
  const std::string digits(100000, '7');
  EXPECT_EQ(load("1" + digits).as_integer().decimal(), "1" + digits);
}

TEST(Bombs, LargeMappingLoads) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += numbered("key", i) + ": " + std::to_string(i) + "\n";
  const Node doc = load(text);
  EXPECT_EQ(doc.size(), 20000u);
  EXPECT_EQ(doc.find("key19999")->as_integer().to_int64(), 19999);
}

}  // namespace
}  // namespace zarn::yaml
