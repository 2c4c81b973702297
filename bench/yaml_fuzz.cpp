// libFuzzer target: any input either fails to load with ParseError or loads
// to a value that dumps, reads back equal and prints without trouble.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "yaml/dump.h"
#include "yaml/load.h"

namespace {

using zarn::yaml::Node;

// NaN != NaN, so values holding one cannot be compared after a round trip.
bool holds_nan(const Node& root) {
  std::vector<const Node*> pending{&root};
  while (!pending.empty()) {
    const Node* node = pending.back();
    pending.pop_back();
    if (node->kind() == zarn::yaml::Kind::Float && std::isnan(node->as_float())) return true;
    if (node->is_set()) {
      for (const Node& member : node->members()) {
        if (member.kind() == zarn::yaml::Kind::Float && std::isnan(member.as_float())) return true;
      }
    } else if (node->is_sequence()) {
      for (const Node& item : node->items()) pending.push_back(&item);
    } else if (node->is_mapping()) {
      for (const auto& [key, value] : node->entries()) {
        pending.push_back(&key);
        pending.push_back(&value);
      }
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Node doc;
  try {
    doc = zarn::yaml::load(text, "fuzz");
  } catch (const zarn::yaml::ParseError&) {
    return 0;
  }
  (void)doc.str();
  const std::string out = zarn::yaml::dump(doc);
  const Node back = zarn::yaml::load(out, "dumped");
  if (!holds_nan(doc) && !(back == doc)) std::abort();
  if (zarn::yaml::dump(back) != out) std::abort();
  return 0;
}
