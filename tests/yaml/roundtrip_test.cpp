// load(dump(v)) == v over values of every kind and strings of every shape.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "yaml/dump.h"
#include "yaml/load.h"

#include "yaml/node_builders.h"

namespace zarn::yaml {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the builders read as literals

void expect_round_trip(const Node& value) {
  const std::string text = dump(value);
  Node back;
  try {
    back = load(text);
  } catch (const ParseError& e) {
    FAIL() << e.what() << "\n" << text;
  }
  EXPECT_EQ(back, value) << "dumped as:\n" << text;
  EXPECT_EQ(dump(back), text);  // and it is stable
}

std::vector<std::string> tricky_strings() {
  std::vector<std::string> out = {
      "",
      " ",
      "  ",
      "\t",
      "\n",
      "\n\n",
      "\r",
      "\r\n",
      "x\n",
      "\nx",
      "x\n\ny",
      "x \n y",
      "  x\n  y",
      " lead",
      "trail ",
      " both ",
      "a  b",
      "a \t b",
      "a\tb",
      "tab\t",
      "a: b",
      "a:b",
      "a:",
      ":",
      ": a",
      "#",
      "a #b",
      "a# b",
      "# c",
      "- ",
      "-",
      "- a",
      "-a",
      "--",
      "---",
      "...",
      "--- a",
      "... a",
      "? a",
      "?",
      "@x",
      "`x",
      "%x",
      "!x",
      "!",
      "&x",
      "*x",
      "|",
      "|-",
      ">",
      "{",
      "}",
      "[",
      "]",
      "{a: 1}",
      "[a]",
      ",",
      "a,b",
      "a, b",
      "'",
      "''",
      "\"",
      "\"\"",
      "it's",
      "say \"hi\"",
      "'\"",
      "\\",
      "a\\nb",
      "\\x41",
      "\x7f",
      std::string("nul\0byte", 8),
      "\x01\x02\x1f",
      "bell\a",
      "\x1b[31mred",
      "é",
      "日本語",
      "😀 emoji",
      "\xc2\x85nel",
      "ls\xe2\x80\xa8ps\xe2\x80\xa9",
      "\xef\xbb\xbf"
      "bom",
      "nbsp\xc2\xa0",
      "zero\xe2\x80\x8bwidth",
      "\xee\x80\x80private",
      "\xef\xbf\xbd",
      "\xf4\x8f\xbf\xbf",
      "<<",
      "=",
      "~",
      "null",
      "Null",
      "NULL",
      "yes",
      "No",
      "ON",
      "off",
      "True",
      "FALSE",
      "y",
      "n",
      "0",
      "-0",
      "+1",
      "007",
      "0755",
      "08",
      "0o17",
      "0b101",
      "0b_",
      "0x1F",
      "0x_",
      "1_000",
      "1:30",
      "190:20:30",
      "1:30.5",
      "12345678901234567890123",
      "1.5",
      "1.",
      ".5",
      "-.5",
      "1e3",
      "1.0e3",
      "1.0e+3",
      "1e+16",
      ".inf",
      "-.Inf",
      ".NaN",
      "inf",
      "nan",
      "2024-01-31",
      "2024-1-31",
      "2024-02-30",
      "2024-01-31 10:20:30",
      "2024-01-31T10:20:30Z",
      "2024-01-31 10:20:30 +05:30",
      "2024-13-45 99:99:99",
      "0000-01-01",
  };
  out.push_back(std::string(300, 'x'));
  std::string words;
  for (int i = 0; i < 60; ++i) words += "word" + std::to_string(i) + (i % 7 == 0 ? "  " : " ");
  out.push_back(words);
  out.push_back(words + "\n" + words);
  out.push_back(" " + words + " ");
  out.push_back(std::string(100, ' ') + "x");
  out.push_back(words + "#" + words);
  return out;
}

TEST(RoundTrip, StringsAsValues) {
  for (const std::string& s : tricky_strings()) {
    SCOPED_TRACE(testing::Message() << "string: '" << s << "'");
    expect_round_trip(str(s));
    expect_round_trip(Node::sequence({str(s)}));
    expect_round_trip(Node::mapping({{str("k"), str(s)}}));
    expect_round_trip(
        Node::sequence({Node::sequence({str(s)}), Node::mapping({{str("k"), str(s)}})}));
  }
}

TEST(RoundTrip, StringsAsKeys) {
  for (const std::string& s : tricky_strings()) {
    SCOPED_TRACE(testing::Message() << "key: '" << s << "'");
    expect_round_trip(Node::mapping({{str(s), str("v")}}));
    expect_round_trip(Node::mapping({{str(s), Node::sequence({str(s)})}}));
  }
}

TEST(RoundTrip, Numbers) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  const double floats[] = {0.0,
                           -0.0,
                           0.1,
                           1.5,
                           -2.25,
                           1e-7,
                           1e16,
                           1e22,
                           1e-5,
                           0.0001,
                           123456789.123,
                           5e-324,
                           1.7976931348623157e308,
                           kInf,
                           -kInf,
                           2.0 / 3.0,
                           1e15,
                           9007199254740993.0};
  for (const double d : floats) {
    SCOPED_TRACE(d);
    expect_round_trip(Node::floating(d));
    expect_round_trip(Node::mapping({{str("f"), Node::floating(d)}}));
  }
  for (const char* i : {"0", "-1", "9223372036854775807", "-9223372036854775808",
                        "123456789012345678901234567890", "-99999999999999999999999"}) {
    expect_round_trip(Node::sequence({Node::integer(Integer::from_decimal(i))}));
  }
  expect_round_trip(Node::sequence({Node::boolean(true), Node::boolean(false), Node()}));
}

TEST(RoundTrip, NanIsNanAgain) {  // NaN != NaN, as in Python: compare by hand
  const Node back = load(dump(Node::sequence({Node::floating(std::nan(""))})));
  EXPECT_TRUE(std::isnan(back.items().at(0).as_float()));
}

TEST(RoundTrip, Timestamps) {
  for (const Timestamp& t :
       {Timestamp::date(2024, 1, 31), Timestamp::date(1, 1, 1), Timestamp::date(9999, 12, 31),
        Timestamp::date_time(2024, 2, 29, 0, 0, 0),
        Timestamp::date_time(2024, 1, 31, 23, 59, 59, 999999),
        Timestamp::date_time(2024, 1, 31, 10, 20, 30, 1, 0),
        Timestamp::date_time(2024, 1, 31, 10, 20, 30, 0, -(23 * 60 + 59)),
        Timestamp::date_time(2024, 1, 31, 10, 20, 30, 500, 330)}) {
    SCOPED_TRACE(t.iso_text());
    expect_round_trip(Node::timestamp(t));
    expect_round_trip(Node::mapping({{Node::timestamp(t), Node::timestamp(t)}}));
  }
}

TEST(RoundTrip, DocumentsFromText) {
  for (const char* text : {
           "a: 1\nb: [x, {y: z}]\nc: {}\nd: []\n",
           "- [[[]]]\n- {a: {b: {c: {}}}}\n",
           "1: a\n1.5: b\n~: c\ntrue2: d\n2024-01-31: e\n'2024-01-31': f\n",
           "base: &b {x: [1, 2]}\nuse: *b\nlist: [*b, *b]\nm: {<<: *b, y: 3}\n",
           "s: !!str 123\nt: !!float 5\nu: !!timestamp 2024-1-5\n",
           "text: |\n  line one\n  line two\n\n  after blank\nfolded: >\n  a\n  b\n",
           "q: \"\\t\\x01\\u00e9\\U0001F600\\\\\"\n",
           "roles: !!set {b, a}\nblob: !!binary aGk=\nshared: &s !!set {x}\nagain: [*s]\n",
       }) {
    SCOPED_TRACE(text);
    expect_round_trip(load(text));
  }
}

TEST(RoundTrip, BytesAndSets) {
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes += static_cast<char>(b);
  for (const std::string& data :
       {std::string(), std::string(1, '\0'), std::string("hi"), std::string(57, 'x'),
        std::string(58, 'x'), all_bytes, std::string(1000, '\xff')}) {
    SCOPED_TRACE(data.size());
    const Node blob = Node::binary(data);
    expect_round_trip(blob);
    expect_round_trip(Node::mapping({{blob, blob}, {str("k"), Node::sequence({blob})}}));
    expect_round_trip(Node::set_of({blob, str("hi")}));  // b'hi' and 'hi' both
  }
  const Node mixed = Node::set_of({str("yes"), Node::integer(1), Node(), Node::floating(1.5),
                                   Node::timestamp(Timestamp::date(2024, 1, 31)), str(""),
                                   Node::binary("x"), str("x")});
  expect_round_trip(mixed);
  expect_round_trip(Node::set_of());
  expect_round_trip(Node::sequence({Node::set_of(), mixed, mixed}));
  expect_round_trip(Node::mapping({{str("s"), mixed}, {str("e"), Node::set_of()}}));
}

TEST(RoundTrip, SharedValuesStayShared) {
  const Node back = load(dump(load("a: &x [1]\nb: *x\n")));
  EXPECT_TRUE(back.find("a")->same(*back.find("b")));
}

}  // namespace
}  // namespace zarn::yaml
