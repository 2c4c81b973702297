#pragma once

#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarn::yaml {

/// An exact integer of any size, kept as its canonical decimal text
/// ("-123", "0"; no leading zeros, no "-0").
class Integer {
 public:
  Integer() = default;
  explicit Integer(std::int64_t value);
  /// Parses optional sign and decimal digits; throws std::invalid_argument otherwise.
  static Integer from_decimal(std::string_view text);

  const std::string& decimal() const { return decimal_; }
  std::optional<std::int64_t> to_int64() const;
  double to_double() const;
  bool is_zero() const { return decimal_ == "0"; }

  friend bool operator==(const Integer&, const Integer&) = default;
  friend std::strong_ordering operator<=>(const Integer& a, const Integer& b);

 private:
  std::string decimal_ = "0";
};

/// A YAML timestamp: a date, or a date and time with an optional UTC offset,
/// as Python's datetime.date / datetime.datetime hold them.
struct Timestamp {
  int year = 1970;
  int month = 1;
  int day = 1;
  bool has_time = false;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int microsecond = 0;
  std::optional<int> utc_offset_minutes;  ///< absent: a naive date-time

  static Timestamp date(int year, int month, int day) {
    return {year, month, day, false, 0, 0, 0, 0, {}};
  }
  static Timestamp date_time(int year, int month, int day, int hour, int minute, int second,
                             int microsecond = 0, std::optional<int> utc_offset_minutes = {}) {
    return {year, month, day, true, hour, minute, second, microsecond, utc_offset_minutes};
  }

  /// "2024-01-31", or "2024-01-31 10:20:30[.ffffff][+HH:MM]" (Python's isoformat(' ')).
  std::string iso_text() const;
  friend bool operator==(const Timestamp&, const Timestamp&) = default;
};

/// Bytes is Python's bytes (a !!binary value); Set is Python's set (!!set).
enum class Kind { Null, Bool, Int, Float, String, Timestamp, Sequence, Mapping, Bytes, Set };

/// The kind in the words of a message to a user: "nothing", "a list", "a text",
/// "a number", "a truth value", ...
std::string_view kind_name(Kind kind);

class Node;
using Pair = std::pair<Node, Node>;

namespace detail {
struct Access;
}

/// str() stops after this many bytes and ends with "...": a small document
/// whose aliases nest deeply would otherwise print gigabytes.
inline constexpr std::size_t kMaxStrLength = std::size_t{1} << 20;

/// One YAML value. Copies share the same underlying value, as Python
/// references do: an alias in a document and the anchor it names are the same
/// object, and a mapping changed through one copy is changed for all.
/// Keys of a mapping and members of a set are hashable as in Python: a
/// sequence, mapping or set is rejected there.
/// Do not make a value contain itself through the mutators: load never
/// produces such cycles, and their memory is never freed.
class Node {
 public:
  Node();  ///< null
  static Node boolean(bool value);
  static Node integer(Integer value);
  static Node integer(std::int64_t value);
  static Node floating(double value);
  static Node string(std::string value);
  /// Throws std::invalid_argument for a date or time Python would reject
  /// (years 1-9999, offsets under 24 hours). A date's time fields are cleared.
  static Node timestamp(Timestamp value);
  static Node sequence(std::vector<Node> items = {});
  /// A mapping in the given order; a repeated key keeps its first position and last value.
  /// Throws std::invalid_argument for a sequence, mapping or set key.
  static Node mapping(std::vector<Pair> entries = {});
  /// Raw bytes (Python's bytes), never equal to a string of the same bytes.
  static Node binary(std::string bytes);
  /// A set (Python's set) of the given members in the given order; a member
  /// equal to an earlier one is dropped, as set() keeps the first. Throws
  /// std::invalid_argument for a sequence, mapping or set member.
  static Node set_of(std::vector<Node> members = {});

  Kind kind() const;
  bool is_null() const { return kind() == Kind::Null; }
  bool is_string() const { return kind() == Kind::String; }
  bool is_sequence() const { return kind() == Kind::Sequence; }
  bool is_mapping() const { return kind() == Kind::Mapping; }
  bool is_bytes() const { return kind() == Kind::Bytes; }
  bool is_set() const { return kind() == Kind::Set; }

  // Scalar access; each throws std::logic_error when the kind differs.
  bool as_bool() const;
  const Integer& as_integer() const;
  double as_float() const;
  const std::string& as_string() const;
  const Timestamp& as_timestamp() const;
  /// The decoded bytes of a Bytes value (any byte values, not text).
  const std::string& as_bytes() const;

  // Sequence access; throws std::logic_error on other kinds.
  const std::vector<Node>& items() const;
  std::vector<Node>& items();

  // Mapping access; throws std::logic_error on other kinds. Keys compare as
  // Python dictionary keys do (1, 1.0 and true are the same key).
  const std::vector<Pair>& entries() const;
  const Node* find(const Node& key) const;
  const Node* find(std::string_view key) const;
  Node* find(const Node& key);
  Node* find(std::string_view key);
  bool contains(const Node& key) const { return find(key) != nullptr; }
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  /// Sets the value of key: an existing key keeps its position, a new one goes last.
  /// Throws std::invalid_argument for a sequence or mapping key.
  void set(const Node& key, Node value);
  void set(std::string_view key, Node value);
  /// Removes key; returns whether it was there.
  bool erase(const Node& key);
  bool erase(std::string_view key);

  /// A set's members, in the order they were first given (file order for a
  /// loaded set); throws std::logic_error on other kinds.
  std::vector<Node> members() const;

  /// Number of items, entries or members; 0 for scalars and bytes.
  std::size_t size() const;

  /// Python's truth value: false for null, false, 0, 0.0, "", b'', [], {} and set().
  bool truthy() const;
  /// Python's str() of the value: "None", "True", "42", "1.5", "2024-01-31",
  /// the text itself, "b'raw'", "['a', 1]", "{'a': 1}", "{'a', 1}" (a set's
  /// members in their order), "set()". Used where messages insert a value.
  /// At most kMaxStrLength bytes (then cut, ending in "...").
  std::string str() const;
  /// Whether both refer to the same underlying value (Python's `is`).
  bool same(const Node& other) const { return data_ == other.data_; }
  /// The underlying value's address: equal for nodes that are the same().
  const void* identity() const { return data_.get(); }

  /// Python's ==: deep, numbers compare by value across bool, int and float;
  /// sets by members whatever their order; bytes never equal strings.
  friend bool operator==(const Node& a, const Node& b);

  struct Data;

 private:
  friend struct detail::Access;
  explicit Node(std::shared_ptr<Data> data);
  std::shared_ptr<Data> data_;
};

/// The fixed order in which dump writes mapping keys and set members: null,
/// then numbers (bool, int and float together, by value), then timestamps,
/// then strings by code point, then bytes by byte value. Keys of one type sort
/// as Python's sorted() would.
/// Mixed cases Python cannot sort get a fixed order: NaN after every other
/// number; among timestamps, by instant (a date counts as its midnight, a
/// naive time as if UTC), then date < naive < with offset, then by offset.
/// Sequences, then mappings, then sets come last, each kind all equivalent.
bool key_less(const Node& a, const Node& b);

}  // namespace zarn::yaml
