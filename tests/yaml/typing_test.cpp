// Plain scalars typed as PyYAML's safe_load types them (YAML 1.1 rules).

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <cmath>

#include "yaml/load.h"
#include "yaml/resolve.h"

namespace zarn::yaml {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct Typed {
  const char* text;
  PlainType type;
};

/// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Typed& c, std::ostream* out) {
  *out << '"' << c.text << '"';
}

class PlainTyping : public ::testing::TestWithParam<Typed> {};

TEST_P(PlainTyping, ResolvesToType) {
  EXPECT_EQ(resolve_plain(GetParam().text), GetParam().type) << "'" << GetParam().text << "'";
}

constexpr PlainType S = PlainType::String;

INSTANTIATE_TEST_SUITE_P(
    Table, PlainTyping,
    ::testing::Values(
        // Booleans: only these spellings.
        Typed{"yes", PlainType::Bool}, Typed{"Yes", PlainType::Bool}, Typed{"YES", PlainType::Bool},
        Typed{"No", PlainType::Bool}, Typed{"on", PlainType::Bool}, Typed{"OFF", PlainType::Bool},
        Typed{"True", PlainType::Bool}, Typed{"FALSE", PlainType::Bool}, Typed{"yEs", S},
        Typed{"y", S}, Typed{"n", S}, Typed{"tRue", S}, Typed{"Off ", S},
        // Null.
        Typed{"", PlainType::Null}, Typed{"~", PlainType::Null}, Typed{"null", PlainType::Null},
        Typed{"Null", PlainType::Null}, Typed{"NULL", PlainType::Null}, Typed{"nULL", S},
        Typed{"~~", S}, Typed{"None", S},
        // Floats: a dot is needed, and the exponent needs a sign.
        Typed{"1.5", PlainType::Float}, Typed{"1.", PlainType::Float},
        Typed{"1.0e+3", PlainType::Float}, Typed{"1.e-3", PlainType::Float},
        Typed{"-1_000.5", PlainType::Float}, Typed{".5", PlainType::Float},
        Typed{".5e+1", PlainType::Float}, Typed{"1e3", S}, Typed{"1.0e3", S}, Typed{"1e+3", S},
        Typed{"-.5", S}, Typed{"+.5", S}, Typed{".", S}, Typed{"._5", S}, Typed{"1.5e+", S},
        Typed{"1.5.5", S}, Typed{".inf", PlainType::Float}, Typed{"-.Inf", PlainType::Float},
        Typed{"+.INF", PlainType::Float}, Typed{".iNf", S}, Typed{"inf", S},
        Typed{".nan", PlainType::Float}, Typed{".NaN", PlainType::Float},
        Typed{".NAN", PlainType::Float}, Typed{"-.nan", S}, Typed{"nan", S},
        Typed{"190:20:30.15", PlainType::Float}, Typed{"0:30.", PlainType::Float},
        Typed{"1:60.5", S},
        // Integers: octal with a bare leading zero, binary, hex, sexagesimal.
        Typed{"0", PlainType::Int}, Typed{"-0", PlainType::Int}, Typed{"+12", PlainType::Int},
        Typed{"1_000", PlainType::Int}, Typed{"0755", PlainType::Int}, Typed{"0_", PlainType::Int},
        Typed{"08", S}, Typed{"0o17", S}, Typed{"0b1010", PlainType::Int}, Typed{"0b102", S},
        Typed{"0B1", S}, Typed{"0x1F", PlainType::Int}, Typed{"-0xff_ff", PlainType::Int},
        Typed{"0xg", S}, Typed{"0X1F", S}, Typed{"1:30", PlainType::Int},
        Typed{"190:20:30", PlainType::Int}, Typed{"1:5", PlainType::Int}, Typed{"1:60", S},
        Typed{"0:30", S}, Typed{"1:", S}, Typed{"12345678901234567890123", PlainType::Int},
        Typed{"_1", S}, Typed{"1_", PlainType::Int}, Typed{"12abc", S}, Typed{"--1", S},
        Typed{"- 1", S},
        // Timestamps.
        Typed{"2024-01-31", PlainType::Timestamp}, Typed{"2024-1-31", S},
        Typed{"2024-01-31T10:20:30Z", PlainType::Timestamp},
        Typed{"2024-01-31t10:20:30", PlainType::Timestamp},
        Typed{"2024-01-31 10:20:30.123456789", PlainType::Timestamp},
        Typed{"2024-1-5 1:20:30 +5", PlainType::Timestamp},
        Typed{"2024-01-31 \t10:20:30 -05:30", PlainType::Timestamp},
        Typed{"2024-01-31 10:20:30.", PlainType::Timestamp}, Typed{"2024-01-31 10:20", S},
        Typed{"2024-01-31 10:20:30 ", S}, Typed{"2024-01-31 10:20:30+0530", S},
        Typed{"2024-01-31 10:20:30 UTC", S}, Typed{"2024-01-31T", S}, Typed{"20240-01-31", S},
        // The merge and value keys, and things that only look special.
        Typed{"<<", PlainType::Merge}, Typed{"<", S}, Typed{"<<<", S}, Typed{"=", PlainType::Value},
        Typed{"==", S}, Typed{"prod", S}, Typed{"a b", S}));

// Values as load builds them from plain text.
TEST(PlainValues, IntegersAreExact) {
  const struct {
    const char* text;
    const char* decimal;
  } cases[] = {
      {"0755", "493"},
      {"-0755", "-493"},
      {"0_7_7", "63"},
      {"00", "0"},
      {"0b1010", "10"},
      {"-0b_1", "-1"},
      {"0x1F", "31"},
      {"0xFFFFFFFFFFFFFFFFFFFF", "1208925819614629174706175"},
      {"0b1111111111111111111111111111111111111111111111111111111111111111111",
       "147573952589676412927"},
      {"1:30", "90"},
      {"-1:30", "-90"},
      {"190:20:30", "685230"},
      {"100000000000000000000:0", "6000000000000000000000"},
      {"1_000_000", "1000000"},
      {"+007", "7"},
      {"12345678901234567890123", "12345678901234567890123"},
      {"-0", "0"},
  };
  for (const auto& c : cases) {
    const Node n = load(c.text);
    ASSERT_EQ(n.kind(), Kind::Int) << c.text;
    EXPECT_EQ(n.as_integer().decimal(), c.decimal) << c.text;
  }
}

TEST(PlainValues, Floats) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"1.5", 1.5},
      {"1.", 1.0},
      {"1.0e+3", 1000.0},
      {"1_0.2_5", 10.25},
      {".5", 0.5},
      {"-2.5e-3", -0.0025},
      {"190:20:30.15", 685230.15},
      {"-1:30.5", -90.5},
      {"1.0e+400", kInf},
      {"1.0e-400", 0.0},
      {".inf", kInf},
      {"-.INF", -kInf},
      {"0.1", 0.1},
  };
  for (const auto& c : cases) {
    const Node n = load(c.text);
    ASSERT_EQ(n.kind(), Kind::Float) << c.text;
    EXPECT_EQ(n.as_float(), c.value) << c.text;
  }
  EXPECT_TRUE(std::isnan(load(".NaN").as_float()));
  EXPECT_TRUE(std::signbit(load("-0.0").as_float()));
}

TEST(PlainValues, BooleansAndNull) {
  EXPECT_TRUE(load("yes").as_bool());
  EXPECT_TRUE(load("ON").as_bool());
  EXPECT_FALSE(load("No").as_bool());
  EXPECT_FALSE(load("off").as_bool());
  EXPECT_TRUE(load("~").is_null());
  EXPECT_TRUE(load("a:").find("a")->is_null());
}

TEST(PlainValues, QuotedScalarsAreStrings) {
  for (const char* text : {"'yes'", "\"5432\"", "'~'", "''", "\"1.5\"", "'2024-01-31'", "'<<'"}) {
    EXPECT_EQ(load(text).kind(), Kind::String) << text;
  }
  EXPECT_EQ(load("\"yes\"").as_string(), "yes");
}

TEST(PlainValues, Timestamps) {
  const struct {
    const char* text;
    Timestamp value;
    const char* iso;
  } cases[] = {
      {"2024-01-31", Timestamp::date(2024, 1, 31), "2024-01-31"},
      {"2024-02-29 10:20:30", Timestamp::date_time(2024, 2, 29, 10, 20, 30), "2024-02-29 10:20:30"},
      {"2024-01-31T10:20:30Z", Timestamp::date_time(2024, 1, 31, 10, 20, 30, 0, 0),
       "2024-01-31 10:20:30+00:00"},
      {"2024-1-5 1:02:03.5 -5", Timestamp::date_time(2024, 1, 5, 1, 2, 3, 500000, -300),
       "2024-01-05 01:02:03.500000-05:00"},
      {"2024-01-31 10:20:30.1234567 +05:30",
       Timestamp::date_time(2024, 1, 31, 10, 20, 30, 123456, 330),
       "2024-01-31 10:20:30.123456+05:30"},
      {"2024-01-31 10:20:30.", Timestamp::date_time(2024, 1, 31, 10, 20, 30),
       "2024-01-31 10:20:30"},
  };
  for (const auto& c : cases) {
    const Node n = load(c.text);
    ASSERT_EQ(n.kind(), Kind::Timestamp) << c.text;
    EXPECT_EQ(n.as_timestamp(), c.value) << c.text;
    EXPECT_EQ(n.as_timestamp().iso_text(), c.iso) << c.text;
    EXPECT_EQ(n.str(), c.iso);
  }
}

// Text the resolver types but Python could not build a value from: an error,
// as in PyYAML, rather than a silently different value.
TEST(PlainValues, UnbuildableLiteralsAreErrors) {
  for (const char* text :
       {"0b_", "0x__", "2024-02-30", "2023-02-29", "0000-01-01", "2024-01-31 24:00:00",
        "2024-01-31 10:60:00", "2024-01-31 10:20:60", "2024-01-31 10:20:30 +24:00", "2024-13-01"}) {
    EXPECT_THROW(load(text), ParseError) << text;
  }
}

TEST(ExplicitTags, ForceTheType) {
  EXPECT_EQ(load("!!str 123").as_string(), "123");
  EXPECT_EQ(load("!!str").as_string(), "");
  EXPECT_EQ(load("!!int '0x10'").as_integer().decimal(), "16");
  EXPECT_EQ(load("!!float 1e3").as_float(), 1000.0);
  EXPECT_EQ(load("!!float 5").as_float(), 5.0);
  EXPECT_EQ(load("!!float '-inf'").as_float(), -kInf);
  EXPECT_TRUE(load("!!bool yEs").as_bool());
  EXPECT_TRUE(load("!!null whatever").is_null());
  EXPECT_EQ(load("!!timestamp 2024-1-5").as_timestamp(), Timestamp::date(2024, 1, 5));
  EXPECT_EQ(load("!!seq [1]").size(), 1u);
  EXPECT_EQ(load("!!map {a: 1}").size(), 1u);
  EXPECT_EQ(load("! 12").kind(), Kind::Int);  // the non-specific tag still resolves
  EXPECT_EQ(load("!<tag:yaml.org,2002:str> 12").as_string(), "12");
}

TEST(ExplicitTags, RejectWhatTheyCannotBuild) {
  const struct {
    const char* text;
    const char* problem;
  } cases[] = {
      {"x: !Ref y", "could not determine a constructor for this tag"},
      {"!Ref [a]", "could not determine a constructor for this tag"},
      {"!!python/name:os.system x", "could not determine a constructor for this tag"},
      {"!!int 1.5", "cannot read this value as !!int"},
      {"!!int ' 12'", "cannot read this value as !!int"},
      {"!!float abc", "cannot read this value as !!float"},
      {"!!bool maybe", "cannot read this value as !!bool"},
      {"!!timestamp yesterday", "cannot read this value as !!timestamp"},
      {"!!str [a]", "expected a scalar node, but found sequence"},
      {"!!map [a]", "expected a mapping node, but found sequence"},
      {"!!seq a", "expected a sequence node, but found scalar"},
      {"!!omap [a: 1]", "the tag 'tag:yaml.org,2002:omap' is not supported"},
  };
  for (const auto& c : cases) {
    try {
      load(c.text);
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const ParseError& e) {
      EXPECT_EQ(e.problem(), c.problem) << c.text;
    }
  }
}

}  // namespace
}  // namespace zarn::yaml
