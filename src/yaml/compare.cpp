#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <unordered_set>

#include "yaml/bigint.h"
#include "yaml/node_data.h"

namespace zarn::yaml {
namespace {

using detail::Access;
using detail::kind_of;
using Data = Node::Data;

bool is_number(Kind kind) {
  return kind == Kind::Bool || kind == Kind::Int || kind == Kind::Float;
}

// The integer value of a bool or int (Python's bools are the integers 0 and
// 1); null for a float.
const Integer* integer_of(const Data* data) {
  static const Integer zero(0);
  static const Integer one(1);
  if (const bool* b = std::get_if<bool>(&data->value)) return *b ? &one : &zero;
  return std::get_if<Integer>(&data->value);
}

// Exact, as Python compares an int with a float (no rounding of the int).
std::partial_ordering compare_integer_float(const Integer& i, double d) {
  if (std::isnan(d)) return std::partial_ordering::unordered;
  if (std::isinf(d)) return d > 0 ? std::partial_ordering::less : std::partial_ordering::greater;
  if (const auto small = i.to_int64(); small && std::llabs(*small) <= (std::int64_t{1} << 53)) {
    return static_cast<double>(*small) <=> d;
  }
  const double floor = std::floor(d);
  const std::strong_ordering whole = i <=> detail::integer_from_double(floor);
  if (whole != 0) return whole;
  return d > floor ? std::partial_ordering::less : std::partial_ordering::equivalent;
}

std::partial_ordering compare_numbers(const Data* a, const Data* b) {
  const Integer* x = integer_of(a);
  const Integer* y = integer_of(b);
  if (x && y) return *x <=> *y;
  if (x) return compare_integer_float(*x, std::get<double>(b->value));
  if (y) return 0 <=> compare_integer_float(*y, std::get<double>(a->value));
  return std::get<double>(a->value) <=> std::get<double>(b->value);
}

// Date < naive date-time < date-time with an offset, for ties in instant.
int timestamp_class(const Timestamp& t) {
  if (!t.has_time) return 0;
  return t.utc_offset_minutes ? 2 : 1;
}

bool timestamp_equal(const Timestamp& a, const Timestamp& b) {
  if (timestamp_class(a) != timestamp_class(b)) return false;  // as Python: never equal
  if (timestamp_class(a) == 2) return detail::timestamp_instant(a) == detail::timestamp_instant(b);
  return a == b;
}

std::size_t mix(std::size_t seed, std::size_t value) {
  return seed ^ (value + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
}

std::size_t integer_hash(const Integer& i) {
  if (const auto small = i.to_int64()) return std::hash<std::int64_t>{}(*small);
  return std::hash<std::string>{}(i.decimal());
}

// Equality of two containers, without recursion. A pair of containers either
// of which is shared is compared once only: a document built from aliases
// compares in time linear in its distinct parts, however large it expands to.
// (A pair of unshared ones can only be reached again through a shared parent.)
bool container_equal(const Node& a, const Node& b) {
  struct PairHash {
    std::size_t operator()(const std::pair<const Data*, const Data*>& p) const {
      return mix(std::hash<const void*>{}(p.first), std::hash<const void*>{}(p.second));
    }
  };
  struct Step {
    const Data* x;
    const Data* y;
    bool shared;
  };
  const auto shared = [](const Node& x, const Node& y) {
    return Access::use_count(x) > 1 || Access::use_count(y) > 1;
  };
  std::unordered_set<std::pair<const Data*, const Data*>, PairHash> seen;
  std::vector<Step> pending{{Access::data(a), Access::data(b), true}};
  const auto compare = [&](const Node& x, const Node& y) {
    if (x.same(y)) return true;
    const Kind xk = x.kind();
    const Kind yk = y.kind();
    if (!detail::is_container(xk) || !detail::is_container(yk)) return detail::scalar_equal(x, y);
    if (xk != yk) return false;
    pending.push_back({Access::data(x), Access::data(y), shared(x, y)});
    return true;
  };
  while (!pending.empty()) {
    const Step step = pending.back();
    pending.pop_back();
    const Data* x = step.x;
    const Data* y = step.y;
    if (x == y || (step.shared && !seen.emplace(x, y).second)) continue;
    if (const auto* xs = std::get_if<std::vector<Node>>(&x->value)) {
      const auto& ys = std::get<std::vector<Node>>(y->value);
      if (xs->size() != ys.size()) return false;
      for (std::size_t i = 0; i < xs->size(); ++i) {
        if (!compare((*xs)[i], ys[i])) return false;
      }
    } else {
      const auto& xm = std::get<MappingData>(x->value);
      const auto& ym = std::get<MappingData>(y->value);
      if (xm.entries().size() != ym.entries().size()) return false;
      for (const Pair& pair : xm.entries()) {
        const auto found = ym.find(pair.first);
        if (!found || !compare(pair.second, ym.entries()[*found].second)) return false;
      }
    }
  }
  return true;
}

bool set_equal(const MappingData& a, const MappingData& b) {
  if (a.entries().size() != b.entries().size()) return false;
  for (const Pair& pair : a.entries()) {
    if (!b.find(pair.first)) return false;
  }
  return true;
}

int key_rank(Kind kind) {
  // In the order of Kind.
  static constexpr std::array<int, 10> kRanks = {0, 1, 1, 1, 3, 2, 5, 6, 4, 7};
  const auto index = static_cast<std::size_t>(kind);
  return index < kRanks.size() ? kRanks[index] : 8;
}

bool is_nan(const Data* data) {
  const double* d = std::get_if<double>(&data->value);
  return d && std::isnan(*d);
}

}  // namespace

namespace detail {

std::size_t key_hash(std::string_view text) {
  return std::hash<std::string_view>{}(text);
}

std::size_t key_hash(const Node& key) {
  const Data* data = Access::data(key);
  switch (kind_of(data)) {
    case Kind::Null:
      return 0x6e756c6cU;
    case Kind::Bool:
      return std::hash<std::int64_t>{}(std::get<bool>(data->value) ? 1 : 0);
    case Kind::Int:
      return integer_hash(std::get<Integer>(data->value));
    case Kind::Float: {
      const double d = std::get<double>(data->value);
      if (std::isfinite(d) && std::floor(d) == d) return integer_hash(integer_from_double(d));
      return std::hash<double>{}(d);
    }
    case Kind::String:
      return key_hash(std::string_view(std::get<std::string>(data->value)));
    case Kind::Timestamp: {
      const Timestamp& t = std::get<Timestamp>(data->value);
      const int type = timestamp_class(t);
      const std::int64_t when = type == 2 ? timestamp_instant(t) : timestamp_instant(t) ^ type;
      return mix(std::hash<std::int64_t>{}(when), static_cast<std::size_t>(type));
    }
    case Kind::Bytes:  // distinct from the hash of the same text, which it never equals
      return mix(key_hash(std::string_view(std::get<Bytes>(data->value).data)), 0x62797465U);
    case Kind::Sequence:
    case Kind::Mapping:
    case Kind::Set:
      break;
  }
  throw std::invalid_argument("yaml: a sequence, mapping or set cannot be a mapping key");
}

bool scalar_equal(const Node& a, const Node& b) {
  const Data* x = Access::data(a);
  const Data* y = Access::data(b);
  if (x == y) return true;
  const Kind xk = kind_of(x);
  const Kind yk = kind_of(y);
  if (is_number(xk) && is_number(yk)) return compare_numbers(x, y) == 0;
  if (xk != yk) return false;
  switch (xk) {
    case Kind::Null:
      return true;
    case Kind::String:
      return std::get<std::string>(x->value) == std::get<std::string>(y->value);
    case Kind::Timestamp:
      return timestamp_equal(std::get<Timestamp>(x->value), std::get<Timestamp>(y->value));
    case Kind::Bytes:
      return std::get<Bytes>(x->value).data == std::get<Bytes>(y->value).data;
    case Kind::Set:  // members are hashable scalars: no recursion
      return set_equal(std::get<SetData>(x->value).members, std::get<SetData>(y->value).members);
    default:
      return false;  // containers are not scalars
  }
}

}  // namespace detail

bool operator==(const Node& a, const Node& b) {
  if (a.same(b)) return true;
  const Data* x = Access::data(a);
  const Data* y = Access::data(b);
  const Kind xk = kind_of(x);
  if (!detail::is_container(xk) || !detail::is_container(kind_of(y))) {
    return detail::scalar_equal(a, b);
  }
  return xk == kind_of(y) && container_equal(a, b);
}

bool key_less(const Node& a, const Node& b) {
  const Data* x = Access::data(a);
  const Data* y = Access::data(b);
  const Kind xk = kind_of(x);
  const Kind yk = kind_of(y);
  if (key_rank(xk) != key_rank(yk)) return key_rank(xk) < key_rank(yk);
  switch (key_rank(xk)) {
    case 1: {
      const bool x_nan = is_nan(x);
      const bool y_nan = is_nan(y);
      if (x_nan || y_nan) return !x_nan;
      return compare_numbers(x, y) < 0;
    }
    case 2: {
      const Timestamp& s = std::get<Timestamp>(x->value);
      const Timestamp& t = std::get<Timestamp>(y->value);
      const auto si = detail::timestamp_instant(s);
      const auto ti = detail::timestamp_instant(t);
      if (si != ti) return si < ti;
      if (timestamp_class(s) != timestamp_class(t)) return timestamp_class(s) < timestamp_class(t);
      return s.utc_offset_minutes.value_or(0) < t.utc_offset_minutes.value_or(0);
    }
    case 3:
      return std::get<std::string>(x->value) < std::get<std::string>(y->value);
    case 4:  // std::string compares bytes as unsigned, as Python's bytes do
      return std::get<Bytes>(x->value).data < std::get<Bytes>(y->value).data;
    default:
      return false;
  }
}

}  // namespace zarn::yaml
