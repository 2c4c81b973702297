#include "yaml/dump.h"

#include <yaml.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <unordered_map>

#include "yaml/base64.h"
#include "yaml/load.h"
#include "yaml/node_data.h"
#include "yaml/resolve.h"

namespace zarn::yaml {
namespace {

using detail::Access;
using Data = Node::Data;

class Emitter {
 public:
  Emitter() {
    if (!yaml_emitter_initialize(&emitter_)) throw std::bad_alloc();
    yaml_emitter_set_output(&emitter_, &Emitter::write, &out_);
    yaml_emitter_set_unicode(&emitter_, 1);
    yaml_emitter_set_indent(&emitter_, 2);
    yaml_emitter_set_width(&emitter_, 80);
    yaml_emitter_set_break(&emitter_, YAML_LN_BREAK);
  }
  ~Emitter() { yaml_emitter_delete(&emitter_); }
  Emitter(const Emitter&) = delete;
  Emitter& operator=(const Emitter&) = delete;

  /// Emits an event that was initialised (initialised is the initialiser's result).
  void emit(int initialised, yaml_event_t& event) {
    if (!initialised) throw std::invalid_argument("yaml: cannot write a string that is not UTF-8");
    if (!yaml_emitter_emit(&emitter_, &event)) {
      throw std::runtime_error(std::string("yaml: emitter failed: ") +
                               (emitter_.problem ? emitter_.problem : "unknown error"));
    }
  }
  std::string take() { return std::move(out_); }

 private:
  static int write(void* data, unsigned char* buffer, size_t size) {
    static_cast<std::string*>(data)->append(reinterpret_cast<const char*>(buffer), size);
    return 1;
  }
  yaml_emitter_t emitter_;
  std::string out_;
};

yaml_char_t* chars(const char* text) {
  return reinterpret_cast<yaml_char_t*>(const_cast<char*>(text));
}

// Canonical float text as PyYAML writes it: repr, lower case, with a "."
// so that it reads back as a float ("1e+16" becomes "1.0e+16").
std::string float_text(double value) {
  if (value != value) return ".nan";
  if (value == std::numeric_limits<double>::infinity()) return ".inf";
  if (value == -std::numeric_limits<double>::infinity()) return "-.inf";
  std::string text = detail::float_repr(value);
  if (text.find('.') == std::string::npos) {
    const std::size_t e = text.find('e');
    if (e != std::string::npos) text.insert(e, ".0");
  }
  return text;
}

struct Scalar {
  std::string text;
  const char* tag;
  PlainType type;
  yaml_scalar_style_t style = YAML_ANY_SCALAR_STYLE;
};

Scalar scalar_of(const Node& node) {
  switch (node.kind()) {
    case Kind::Null:
      return {"null", "tag:yaml.org,2002:null", PlainType::Null};
    case Kind::Bool:
      return {node.as_bool() ? "true" : "false", "tag:yaml.org,2002:bool", PlainType::Bool};
    case Kind::Int:
      return {node.as_integer().decimal(), "tag:yaml.org,2002:int", PlainType::Int};
    case Kind::Float:
      return {float_text(node.as_float()), "tag:yaml.org,2002:float", PlainType::Float};
    case Kind::Timestamp:
      return {node.as_timestamp().iso_text(), "tag:yaml.org,2002:timestamp", PlainType::Timestamp};
    case Kind::Bytes: {
      // As PyYAML writes bytes: base64 lines in a literal block, "" when empty.
      std::string text = detail::base64_lines(node.as_bytes());
      const auto style = text.empty() ? YAML_DOUBLE_QUOTED_SCALAR_STYLE : YAML_LITERAL_SCALAR_STYLE;
      return {std::move(text), "tag:yaml.org,2002:binary", PlainType::String, style};
    }
    case Kind::String:
    default:
      return {node.as_string(), "tag:yaml.org,2002:str", PlainType::String};
  }
}

// A set is written as the mapping of its members to null, tagged !!set.
bool is_collection(Kind kind) {
  return detail::is_container(kind) || kind == Kind::Set;
}
const MappingData& pairs_of(const Data* data) {
  if (const auto* set = std::get_if<SetData>(&data->value)) return set->members;
  return std::get<MappingData>(data->value);
}

// What the writer needs to know about each collection before writing.
struct Info {
  int anchor = 0;  // 0: written once, no anchor
  bool written = false;
  std::vector<std::size_t> order;  // a mapping's entries, keys sorted
};

class Dumper {
 public:
  std::string run(const Node& root) {
    plan(root);
    yaml_event_t event;
    emitter_.emit(yaml_stream_start_event_initialize(&event, YAML_UTF8_ENCODING), event);
    emitter_.emit(yaml_document_start_event_initialize(&event, nullptr, nullptr, nullptr, 1),
                  event);
    write(root);
    while (!frames_.empty()) {
      Frame& frame = frames_.back();
      const Info& info = *frame.info;
      if (frame.data->value.index() == static_cast<std::size_t>(Kind::Sequence)) {
        const auto& items = std::get<std::vector<Node>>(frame.data->value);
        if (frame.position == items.size()) {
          frames_.pop_back();
          emitter_.emit(yaml_sequence_end_event_initialize(&event), event);
        } else {
          write(items[frame.position++]);  // may push a frame: frame is not used after
        }
      } else {
        const auto& entries = pairs_of(frame.data).entries();
        if (frame.position == entries.size()) {
          frames_.pop_back();
          emitter_.emit(yaml_mapping_end_event_initialize(&event), event);
        } else {
          const Pair& pair = entries[info.order[frame.position++]];
          write(pair.first);
          write(pair.second);
        }
      }
    }
    emitter_.emit(yaml_document_end_event_initialize(&event, 1), event);
    emitter_.emit(yaml_stream_end_event_initialize(&event), event);
    return emitter_.take();
  }

 private:
  struct Frame {
    const Data* data;
    const Info* info;
    std::size_t position = 0;
  };

  // Walks every collection once, in writing order, as PyYAML's serializer
  // does: the second time a collection is reached it gets the next anchor.
  void plan(const Node& root) {
    std::vector<std::pair<const Node*, std::size_t>> pending{{&root, 1}};
    while (!pending.empty()) {
      const auto [node, depth] = pending.back();
      pending.pop_back();
      const Data* data = Access::data(*node);
      if (!is_collection(detail::kind_of(data))) continue;
      // Deeper than load accepts could not be read back (and each level indents).
      if (depth > kMaxDepth) {
        throw std::invalid_argument("yaml: cannot write nesting deeper than " +
                                    std::to_string(kMaxDepth) + " levels");
      }
      const auto [it, fresh] = info_.try_emplace(data);
      if (!fresh) {
        if (it->second.anchor == 0) it->second.anchor = ++anchors_;
        continue;
      }
      Info& info = it->second;
      if (const auto* items = std::get_if<std::vector<Node>>(&data->value)) {
        for (auto item = items->rbegin(); item != items->rend(); ++item) {
          pending.emplace_back(&*item, depth + 1);
        }
      } else {
        const auto& entries = pairs_of(data).entries();
        info.order.resize(entries.size());
        std::iota(info.order.begin(), info.order.end(), std::size_t{0});
        std::stable_sort(info.order.begin(), info.order.end(), [&entries](auto a, auto b) {
          return key_less(entries[a].first, entries[b].first);
        });
        for (auto i = info.order.rbegin(); i != info.order.rend(); ++i) {
          pending.emplace_back(&entries[*i].second, depth + 1);
        }
      }
    }
  }

  void write(const Node& node) {
    yaml_event_t event;
    const Data* data = Access::data(node);
    const Kind kind = detail::kind_of(data);
    if (!is_collection(kind)) {
      const Scalar s = scalar_of(node);
      const bool plain = kind != Kind::Bytes && resolve_plain(s.text) == s.type;
      emitter_.emit(
          yaml_scalar_event_initialize(
              &event, nullptr, chars(s.tag), reinterpret_cast<const yaml_char_t*>(s.text.data()),
              static_cast<int>(s.text.size()), plain, kind == Kind::String, s.style),
          event);
      return;
    }
    Info& info = info_.at(data);
    char name[32] = "";
    if (info.anchor != 0) std::snprintf(name, sizeof name, "id%03d", info.anchor);
    if (info.written) {
      emitter_.emit(yaml_alias_event_initialize(&event, chars(name)), event);
      return;
    }
    info.written = true;
    yaml_char_t* anchor = info.anchor != 0 ? chars(name) : nullptr;
    const bool empty = node.size() == 0;  // PyYAML writes empty collections as [] and {}
    if (kind == Kind::Sequence) {
      emitter_.emit(yaml_sequence_start_event_initialize(
                        &event, anchor, nullptr, 1,
                        empty ? YAML_FLOW_SEQUENCE_STYLE : YAML_BLOCK_SEQUENCE_STYLE),
                    event);
    } else {
      const bool set = kind == Kind::Set;
      emitter_.emit(yaml_mapping_start_event_initialize(
                        &event, anchor, set ? chars("tag:yaml.org,2002:set") : nullptr, !set,
                        empty ? YAML_FLOW_MAPPING_STYLE : YAML_BLOCK_MAPPING_STYLE),
                    event);
    }
    frames_.push_back({data, &info, 0});
  }

  Emitter emitter_;
  std::unordered_map<const Data*, Info> info_;
  std::vector<Frame> frames_;
  int anchors_ = 0;
};

}  // namespace

std::string dump(const Node& root) {
  return Dumper().run(root);
}

}  // namespace zarn::yaml
