#pragma once

// Internal to the yaml library: the representation behind Node.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "yaml/node.h"

namespace zarn::yaml {

/// A mapping's entries in insertion order, with a hash index once it grows
/// past a few keys (small mappings are scanned, which is faster).
class MappingData {
 public:
  const std::vector<Pair>& entries() const { return entries_; }
  std::vector<Pair>& entries() { return entries_; }
  std::optional<std::size_t> find(const Node& key) const;
  std::optional<std::size_t> find(std::string_view key) const;
  /// Existing key: replaces the value in place. New key: appended.
  void set(const Node& key, Node value);
  bool erase(const Node& key);
  bool erase(std::string_view key);

 private:
  template <class Match>
  std::optional<std::size_t> find_hashed(std::size_t hash, Match match) const;
  void build_index();
  void insert_slot(std::size_t position);

  std::vector<Pair> entries_;
  std::vector<std::size_t> hashes_;   // per entry; empty while the mapping is small
  std::vector<std::uint32_t> slots_;  // open addressing: position + 1, 0 = free
};

/// The bytes of a !!binary value: a type of its own, so never taken for text.
struct Bytes {
  std::string data;
};

/// A set's members in insertion order, as the keys of a mapping whose values
/// are all null (which gives the lookup by Python's == for free).
struct SetData {
  MappingData members;
};

// The alternatives are in the order of Kind, so index() is the kind.
using NodeValue = std::variant<std::monostate, bool, Integer, double, std::string, Timestamp,
                               std::vector<Node>, MappingData, Bytes, SetData>;

struct Node::Data {
  explicit Data(NodeValue v) : value(std::move(v)) {}
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;
  ~Data();
  NodeValue value;
};

namespace detail {

struct Access {
  static const Node::Data* data(const Node& node) { return node.data_.get(); }
  static std::shared_ptr<Node::Data>& pointer(Node& node) { return node.data_; }
  static long use_count(const Node& node) { return node.data_.use_count(); }
  static Node make(NodeValue value) { return Node(std::make_shared<Node::Data>(std::move(value))); }
};

inline Kind kind_of(const Node::Data* data) {
  return data ? static_cast<Kind>(data->value.index()) : Kind::Null;
}
/// A value that can hold sequences or mappings (and so nest without bound).
inline bool is_container(Kind kind) {
  return kind == Kind::Sequence || kind == Kind::Mapping;
}
/// Not usable as a mapping key or a set member, as in Python.
inline bool is_unhashable(Kind kind) {
  return is_container(kind) || kind == Kind::Set;
}

/// Hash consistent with Python's == for keys (1, 1.0 and true hash alike).
/// Throws std::invalid_argument for a sequence, mapping or set.
std::size_t key_hash(const Node& key);
std::size_t key_hash(std::string_view text);
/// == for two values of which at least one is a scalar (no recursion needed).
bool scalar_equal(const Node& a, const Node& b);

/// Microseconds since 0001-01-01 00:00, in UTC for a time with an offset.
std::int64_t timestamp_instant(const Timestamp& t);
/// Whether Python's date / datetime / timezone would accept these fields.
bool timestamp_valid(const Timestamp& t);

/// Python's repr() of a float: "1.5", "1e+16", "inf", "nan", "-0.0".
std::string float_repr(double value);

}  // namespace detail
}  // namespace zarn::yaml
