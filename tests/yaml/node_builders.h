#pragma once

// Short builders for the YAML tests' expected values.

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "yaml/node.h"

namespace zarn::yaml::test {

inline Node str(std::string text) {
  return Node::string(std::move(text));
}
inline Node num(std::int64_t value) {
  return Node::integer(value);
}
inline Node big(const char* decimal) {
  return Node::integer(Integer::from_decimal(decimal));
}
inline Node real(double value) {
  return Node::floating(value);
}
inline Node bytes(const char* data) {
  return Node::binary(data);
}
inline Node set(std::vector<Node> members) {
  return Node::set_of(std::move(members));
}
inline constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
inline constexpr double kInf = std::numeric_limits<double>::infinity();

}  // namespace zarn::yaml::test
