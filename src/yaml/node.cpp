#include <array>
#include <stdexcept>

#include "yaml/node_data.h"

namespace zarn::yaml {
namespace {

using detail::Access;

template <class T>
const T& get(const Node::Data* data, Kind wanted) {
  if (detail::kind_of(data) != wanted) {
    throw std::logic_error("yaml: expected " + std::string(kind_name(wanted)) + ", found " +
                           std::string(kind_name(detail::kind_of(data))));
  }
  return std::get<T>(data->value);
}

// Moves out the children that are containers, so that the caller can release
// them one at a time instead of recursing through nested destructors.
void take_children(Node::Data& data, std::vector<std::shared_ptr<Node::Data>>& pending) {
  const auto take = [&pending](Node& child) {
    auto& pointer = Access::pointer(child);
    if (pointer && detail::is_container(detail::kind_of(pointer.get()))) {
      pending.push_back(std::move(pointer));
    }
  };
  if (auto* items = std::get_if<std::vector<Node>>(&data.value)) {
    for (Node& item : *items) take(item);
  } else if (auto* mapping = std::get_if<MappingData>(&data.value)) {
    for (Pair& pair : mapping->entries()) take(pair.second);
  }
}

}  // namespace

std::string_view kind_name(Kind kind) {
  // In the order of Kind.
  static constexpr std::array<std::string_view, 10> kNames = {
      "nothing", "a truth value", "a number",  "a number",    "a text",
      "a date",  "a list",        "a mapping", "binary data", "a set"};
  const auto index = static_cast<std::size_t>(kind);
  return index < kNames.size() ? kNames[index] : "a value";
}

Node::Data::~Data() {
  std::vector<std::shared_ptr<Data>> pending;
  take_children(*this, pending);
  while (!pending.empty()) {
    std::shared_ptr<Data> next = std::move(pending.back());
    pending.pop_back();
    if (next.use_count() == 1) take_children(*next, pending);
  }
}

Node::Node() = default;
Node::Node(std::shared_ptr<Data> data) : data_(std::move(data)) {}

Node Node::boolean(bool value) {
  static const Node yes = Access::make(true);
  static const Node no = Access::make(false);
  return value ? yes : no;
}

Node Node::integer(Integer value) {
  return Access::make(std::move(value));
}
Node Node::integer(std::int64_t value) {
  return Access::make(Integer(value));
}
Node Node::floating(double value) {
  return Access::make(value);
}
Node Node::string(std::string value) {
  return Access::make(std::move(value));
}

Node Node::timestamp(Timestamp value) {
  if (!value.has_time) {
    value.hour = value.minute = value.second = value.microsecond = 0;
    value.utc_offset_minutes.reset();
  }
  if (!detail::timestamp_valid(value)) {
    throw std::invalid_argument("yaml: timestamp out of range: " + value.iso_text());
  }
  return Access::make(value);
}

Node Node::sequence(std::vector<Node> items) {
  return Access::make(std::move(items));
}

Node Node::mapping(std::vector<Pair> entries) {
  MappingData mapping;
  mapping.entries().reserve(entries.size());
  for (Pair& pair : entries) mapping.set(pair.first, std::move(pair.second));
  return Access::make(std::move(mapping));
}

Node Node::binary(std::string bytes) {
  return Access::make(Bytes{std::move(bytes)});
}

Node Node::set_of(std::vector<Node> members) {
  SetData set;
  set.members.entries().reserve(members.size());
  for (const Node& member : members) set.members.set(member, Node());  // a repeat changes nothing
  return Access::make(std::move(set));
}

Kind Node::kind() const {
  return detail::kind_of(data_.get());
}

bool Node::as_bool() const {
  return get<bool>(data_.get(), Kind::Bool);
}
const Integer& Node::as_integer() const {
  return get<Integer>(data_.get(), Kind::Int);
}
double Node::as_float() const {
  return get<double>(data_.get(), Kind::Float);
}
const std::string& Node::as_string() const {
  return get<std::string>(data_.get(), Kind::String);
}
const Timestamp& Node::as_timestamp() const {
  return get<Timestamp>(data_.get(), Kind::Timestamp);
}

const std::string& Node::as_bytes() const {
  return get<Bytes>(data_.get(), Kind::Bytes).data;
}

std::vector<Node> Node::members() const {
  const auto& entries = get<SetData>(data_.get(), Kind::Set).members.entries();
  std::vector<Node> out;
  out.reserve(entries.size());
  for (const Pair& pair : entries) out.push_back(pair.first);
  return out;
}

const std::vector<Node>& Node::items() const {
  return get<std::vector<Node>>(data_.get(), Kind::Sequence);
}
std::vector<Node>& Node::items() {
  return const_cast<std::vector<Node>&>(std::as_const(*this).items());
}

namespace {
MappingData& mapping_of(Node::Data* data) {
  return const_cast<MappingData&>(get<MappingData>(data, Kind::Mapping));
}
}  // namespace

const std::vector<Pair>& Node::entries() const {
  return mapping_of(data_.get()).entries();
}

const Node* Node::find(const Node& key) const {
  const MappingData& mapping = mapping_of(data_.get());
  if (detail::is_unhashable(key.kind())) return nullptr;  // never a key
  const auto found = mapping.find(key);
  return found ? &mapping.entries()[*found].second : nullptr;
}

const Node* Node::find(std::string_view key) const {
  const MappingData& mapping = mapping_of(data_.get());
  const auto found = mapping.find(key);
  return found ? &mapping.entries()[*found].second : nullptr;
}

Node* Node::find(const Node& key) {
  return const_cast<Node*>(std::as_const(*this).find(key));
}
Node* Node::find(std::string_view key) {
  return const_cast<Node*>(std::as_const(*this).find(key));
}

void Node::set(const Node& key, Node value) {
  mapping_of(data_.get()).set(key, std::move(value));
}
void Node::set(std::string_view key, Node value) {
  MappingData& mapping = mapping_of(data_.get());
  if (const auto found = mapping.find(key)) {
    mapping.entries()[*found].second = std::move(value);
  } else {
    mapping.set(Node::string(std::string(key)), std::move(value));
  }
}

bool Node::erase(const Node& key) {
  return mapping_of(data_.get()).erase(key);
}
bool Node::erase(std::string_view key) {
  return mapping_of(data_.get()).erase(key);
}

std::size_t Node::size() const {
  switch (kind()) {
    case Kind::Sequence:
      return items().size();
    case Kind::Mapping:
      return entries().size();
    case Kind::Set:
      return get<SetData>(data_.get(), Kind::Set).members.entries().size();
    default:
      return 0;
  }
}

bool Node::truthy() const {
  switch (kind()) {
    case Kind::Null:
      return false;
    case Kind::Bool:
      return as_bool();
    case Kind::Int:
      return !as_integer().is_zero();
    case Kind::Float:
      return as_float() != 0.0;  // NaN is true, as in Python
    case Kind::String:
      return !as_string().empty();
    case Kind::Timestamp:
      return true;
    case Kind::Bytes:
      return !as_bytes().empty();
    case Kind::Sequence:
    case Kind::Mapping:
    case Kind::Set:
      return size() != 0;
  }
  return false;
}

}  // namespace zarn::yaml
