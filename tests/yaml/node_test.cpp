#include "yaml/node.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "yaml/load.h"

#include "yaml/node_builders.h"

namespace zarn::yaml {
namespace {

using namespace test;  // NOLINT(google-build-using-namespace): the builders read as literals

TEST(Node, CopiesShareTheValue) {
  Node a = Node::mapping();
  Node b = a;
  b.set("k", num(1));
  EXPECT_TRUE(a.contains("k"));
  Node list = Node::sequence();
  Node alias = list;
  alias.items().push_back(str("x"));
  EXPECT_EQ(list.size(), 1u);
  EXPECT_TRUE(list.same(alias));
  EXPECT_FALSE(list.same(Node::sequence({str("x")})));
}

TEST(Node, WrongKindAccessThrows) {
  EXPECT_THROW(str("x").as_integer(), std::logic_error);
  EXPECT_THROW(Node().items(), std::logic_error);
  EXPECT_THROW(num(1).find("a"), std::logic_error);
  EXPECT_THROW(Node::mapping({{Node::sequence(), num(1)}}), std::invalid_argument);
  EXPECT_THROW(Node::mapping().set(Node::mapping(), num(1)), std::invalid_argument);
  EXPECT_EQ(Node::mapping().find(Node::sequence()), nullptr);
  EXPECT_THROW(Node::mapping({{set({}), num(1)}}),
               std::invalid_argument);  // unhashable, as in Python
  EXPECT_EQ(Node::mapping().find(set({})), nullptr);
  EXPECT_THROW(set({str("a"), Node::sequence()}), std::invalid_argument);
  EXPECT_THROW(str("x").as_bytes(), std::logic_error);
  EXPECT_THROW(Node::mapping().members(), std::logic_error);
  EXPECT_THROW(Node::timestamp(Timestamp::date(2023, 2, 29)), std::invalid_argument);
}

// Python's ==, pairwise: {a, b, equal?}.
TEST(Node, EqualityIsPythons) {
  const struct {
    Node a, b;
    bool equal;
  } cases[] = {
      {Node::boolean(true), num(1), true},
      {num(1), real(1.0), true},
      {Node::boolean(false), real(-0.0), true},
      {real(0.0), real(-0.0), true},
      {num(1), str("1"), false},
      {Node(), Node(), true},
      {Node(), Node::boolean(false), false},
      {Node(), str(""), false},
      {real(kNan), real(kNan), false},
      {big("9007199254740993"), real(9007199254740992.0), false},  // exact, not rounded
      {big("9007199254740992"), real(9007199254740992.0), true},
      {big("100000000000000000000000"), real(1e23), false},
      {big("99999999999999991611392"), real(1e23), true},
      {num(2), real(2.5), false},
      {str("a"), str("a"), true},
      {Node::timestamp(Timestamp::date(2024, 1, 1)),
       Node::timestamp(Timestamp::date_time(2024, 1, 1, 0, 0, 0)), false},
      {Node::timestamp(Timestamp::date_time(2024, 1, 1, 10, 0, 0, 0, 60)),
       Node::timestamp(Timestamp::date_time(2024, 1, 1, 9, 0, 0, 0, 0)), true},
      {Node::timestamp(Timestamp::date_time(2024, 1, 1, 9, 0, 0)),
       Node::timestamp(Timestamp::date_time(2024, 1, 1, 9, 0, 0, 0, 0)), false},
      {Node::sequence({num(1), str("a")}), Node::sequence({real(1.0), str("a")}), true},
      {Node::sequence({num(1)}), Node::sequence({num(1), num(1)}), false},
      {Node::sequence(), Node::mapping(), false},
      {Node::mapping({{str("a"), num(1)}, {str("b"), num(2)}}),
       Node::mapping({{str("b"), num(2)}, {str("a"), num(1)}}), true},  // order does not matter
      {Node::mapping({{num(1), str("x")}}), Node::mapping({{Node::boolean(true), str("x")}}), true},
      {Node::mapping({{str("a"), num(1)}}), Node::mapping({{str("a"), num(2)}}), false},
      {bytes("a"), str("a"), false},
      {bytes("a"), bytes("a"), true},
      {bytes("a"), Node::binary(std::string("a\0", 2)), false},
      {set({str("a"), num(1)}), set({Node::boolean(true), str("a")}), true},  // any order
      {set({str("a")}), set({str("a"), str("b")}), false},
      {set({str("a")}), set({bytes("a")}), false},
      {set({}), Node::mapping(), false},
      {set({str("a")}), Node::mapping({{str("a"), Node()}}), false},
      {set({}), Node::sequence(), false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal) << c.a.str() << " == " << c.b.str();
    EXPECT_EQ(c.b == c.a, c.equal) << c.b.str() << " == " << c.a.str();
  }
  const Node nan = real(kNan);
  EXPECT_TRUE(Node::sequence({nan}) == Node::sequence({nan}));  // identity first, as Python
}

TEST(Node, MappingKeysFollowPythonEquality) {
  Node m = Node::mapping(
      {{num(1), str("int")}, {real(1.0), str("float")}, {Node::boolean(true), str("bool")}});
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m.entries()[0].first.kind(), Kind::Int);
  EXPECT_EQ(m.find(real(1.0))->as_string(), "bool");
  EXPECT_EQ(m.find(str("1")), nullptr);
  const Node nan = real(kNan);
  m.set(nan, str("a"));
  m.set(real(kNan), str("b"));  // another NaN is another key
  EXPECT_EQ(m.size(), 3u);
  EXPECT_EQ(m.find(nan)->as_string(), "a");
}

TEST(Node, LargeMappingIndex) {
  Node m = Node::mapping();
  for (int i = 0; i < 5000; ++i) {
    m.set(num(i), num(i));
    m.set(std::string("k").append(std::to_string(i)), num(i));  // not "k" + ...: g++ -O3 -Wrestrict
  }
  EXPECT_EQ(m.size(), 10000u);
  EXPECT_EQ(m.find(real(4321.0))->as_integer().to_int64(), 4321);
  EXPECT_EQ(m.find("k4321")->as_integer().to_int64(), 4321);
  m.set(real(17.0), str("replaced"));
  EXPECT_EQ(m.entries()[34].second.as_string(), "replaced");  // kept its position
  EXPECT_TRUE(m.erase("k0"));
  EXPECT_FALSE(m.erase("k0"));
  EXPECT_TRUE(m.erase(Node::boolean(true)));
  EXPECT_EQ(m.size(), 9998u);
  EXPECT_EQ(m.find("k4999")->as_integer().to_int64(), 4999);
  EXPECT_EQ(m.entries()[0].first, num(0));
  EXPECT_EQ(m.entries()[1].first, str("k1"));
}

TEST(Node, Str) {
  const struct {
    Node value;
    const char* text;
  } cases[] = {
      {Node(), "None"},
      {Node::boolean(true), "True"},
      {big("-12345678901234567890"), "-12345678901234567890"},
      {real(1.5), "1.5"},
      {real(3.0), "3.0"},
      {real(1e16), "1e+16"},
      {real(1e15), "1000000000000000.0"},
      {real(1.5e16), "1.5e+16"},
      {real(0.0001), "0.0001"},
      {real(0.00001), "1e-05"},
      {real(1.7976931348623157e308), "1.7976931348623157e+308"},
      {real(5e-324), "5e-324"},
      {real(0.1), "0.1"},
      {real(-0.0), "-0.0"},
      {real(kInf), "inf"},
      {real(-kInf), "-inf"},
      {real(kNan), "nan"},
      {str("it's"), "it's"},
      {Node::timestamp(Timestamp::date(2024, 1, 31)), "2024-01-31"},
      {Node::timestamp(Timestamp::date_time(2024, 1, 31, 10, 20, 30, 5, -330)),
       "2024-01-31 10:20:30.000005-05:30"},
      {Node::sequence({str("a"), num(1), Node(), Node::sequence()}), "['a', 1, None, []]"},
      {bytes("hello"), "b'hello'"},
      {Node::sequence({bytes("it's"), Node::binary(std::string("\0\xff\n\\'\"", 6))}),
       "[b\"it's\", b'\\x00\\xff\\n\\\\\\'\"']"},
      {set({num(2), str("a"), bytes("b")}), "{2, 'a', b'b'}"},
      {Node::sequence({set({}), set({Node()})}), "[set(), {None}]"},
      {Node::mapping({{str("a"), num(1)}, {num(2), Node::mapping()}}), "{'a': 1, 2: {}}"},
      {Node::sequence({str("it's"), str("say \"x\""), str("both '\""), str("a\\b\n\t")}),
       "[\"it's\", 'say \"x\"', 'both \\'\"', 'a\\\\b\\n\\t']"},
      {Node::sequence({str("\x01\x7f\xc2\xa0\xe2\x80\xa8\xf3\xa0\x80\x81"), str("é日😀")}),
       "['\\x01\\x7f\\xa0\\u2028\\U000e0001', 'é日😀']"},
      {Node::sequence({Node::timestamp(Timestamp::date(2024, 1, 31)),
                       Node::timestamp(Timestamp::date_time(2024, 1, 31, 10, 20, 0)),
                       Node::timestamp(Timestamp::date_time(2024, 1, 31, 10, 20, 0, 7, 0)),
                       Node::timestamp(Timestamp::date_time(2024, 1, 31, 10, 20, 30, 0, -60))}),
       "[datetime.date(2024, 1, 31), datetime.datetime(2024, 1, 31, 10, 20), "
       "datetime.datetime(2024, 1, 31, 10, 20, 0, 7, tzinfo=datetime.timezone.utc), "
       "datetime.datetime(2024, 1, 31, 10, 20, 30, "
       "tzinfo=datetime.timezone(datetime.timedelta(days=-1, seconds=82800)))]"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.value.str(), c.text);
}

TEST(Node, StrOfAValueInsideItself) {
  Node list = Node::sequence({num(1)});
  list.items().push_back(list);
  EXPECT_EQ(list.str(), "[1, [...]]");
  EXPECT_TRUE(list == list);
  list.items().clear();  // break the cycle, or it is never freed
}

TEST(Node, Truthy) {
  for (const Node& falsy : {Node(), Node::boolean(false), num(0), real(0.0), real(-0.0), str(""),
                            Node::sequence(), Node::mapping(), bytes(""), set({})}) {
    EXPECT_FALSE(falsy.truthy()) << falsy.str();
  }
  for (const Node& truthy :
       {Node::boolean(true), num(-1), big("100000000000000000000"), real(kNan), str("0"),
        str("False"), Node::sequence({Node()}), Node::timestamp(Timestamp::date(1, 1, 1)),
        Node::binary(std::string(1, '\0')), set({Node()})}) {
    EXPECT_TRUE(truthy.truthy()) << truthy.str();
  }
}

TEST(Node, KeyOrderIsFixedAndTotal) {
  std::vector<Node> keys = {str("prod"),
                            num(2024),
                            Node(),
                            Node::boolean(true),
                            real(1.5),
                            str("Prod"),
                            str("é"),
                            str(""),
                            real(kNan),
                            real(-kInf),
                            big("-100000000000000000000"),
                            Node::timestamp(Timestamp::date_time(2024, 1, 31, 0, 0, 0, 0, 0)),
                            Node::timestamp(Timestamp::date(2024, 1, 31)),
                            Node::timestamp(Timestamp::date(2023, 5, 1)),
                            Node::timestamp(Timestamp::date_time(2024, 1, 31, 0, 0, 0)),
                            Node::boolean(false),
                            real(kNan),
                            set({}),
                            Node::sequence(),
                            bytes("\xff"),
                            Node::mapping(),
                            bytes("b"),
                            real(2.0)};
  std::vector<Node> sorted = keys;
  std::stable_sort(sorted.begin(), sorted.end(), key_less);
  std::vector<std::string> got;
  for (const Node& key : sorted) got.push_back(key.str());
  EXPECT_EQ(got, (std::vector<std::string>{"None",
                                           "-inf",
                                           "-100000000000000000000",
                                           "False",
                                           "True",
                                           "1.5",
                                           "2.0",
                                           "2024",
                                           "nan",
                                           "nan",
                                           "2023-05-01",
                                           "2024-01-31",
                                           "2024-01-31 00:00:00",
                                           "2024-01-31 00:00:00+00:00",
                                           "",
                                           "Prod",
                                           "prod",
                                           "é",
                                           "b'b'",
                                           "b'\\xff'",
                                           "[]",
                                           "{}",
                                           "set()"}));
  // A strict weak ordering: irreflexive and asymmetric over every pair.
  for (const Node& a : keys) {
    EXPECT_FALSE(key_less(a, a)) << a.str();
    for (const Node& b : keys) EXPECT_FALSE(key_less(a, b) && key_less(b, a));
  }
}

TEST(Integer, CanonicalDecimal) {
  EXPECT_EQ(Integer::from_decimal("-000").decimal(), "0");
  EXPECT_EQ(Integer::from_decimal("+0042").decimal(), "42");
  EXPECT_EQ(Integer::from_decimal("-0042").decimal(), "-42");
  EXPECT_THROW(Integer::from_decimal("4_2"), std::invalid_argument);
  EXPECT_THROW(Integer::from_decimal(""), std::invalid_argument);
  EXPECT_THROW(Integer::from_decimal("-"), std::invalid_argument);
  EXPECT_EQ(Integer::from_decimal("9223372036854775807").to_int64(), INT64_MAX);
  EXPECT_EQ(Integer::from_decimal("9223372036854775808").to_int64(), std::nullopt);
  EXPECT_EQ(Integer::from_decimal("-1" + std::string(400, '0')).to_double(), -kInf);
  EXPECT_EQ(Integer(-5).to_double(), -5.0);
  EXPECT_LT(Integer::from_decimal("-100"), Integer(-99));
  EXPECT_LT(Integer(-1), Integer(0));
  EXPECT_LT(Integer(99), Integer::from_decimal("100"));
  EXPECT_LT(Integer(12), Integer(21));
}

}  // namespace
}  // namespace zarn::yaml
