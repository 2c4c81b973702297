#include "yaml/load.h"

#include <yaml.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "yaml/construct.h"
#include "yaml/event_reader.h"
#include "yaml/merge_keys.h"
#include "yaml/node_data.h"

namespace zarn::yaml {
namespace {

enum class Special { None, Merge, Value };

// A finished node: the value, and what the loader needs to know about it.
struct Built {
  Node node;
  Special special = Special::None;  // the plain `<<` or `=`, only good as keys
  yaml_mark_t mark{};
  std::optional<yaml_mark_t> non_mapping_item;  // a sequence's first item that is not a mapping
};

// A collection being read.
struct Frame {
  bool mapping = false;
  bool set = false;  // a mapping tagged !!set: its keys are the members
  std::string anchor;
  yaml_mark_t mark{};
  std::vector<Node> items;
  std::optional<yaml_mark_t> non_mapping_item;
  std::vector<Pair> merged;  // merge-key pairs, in the order they take effect
  std::vector<Pair> own;
  std::optional<Built> key;  // read, awaiting its value
};

struct Anchor {
  std::optional<Built> built;  // empty while the anchored collection is being read
  yaml_mark_t mark{};
};

Node set_of(const std::vector<Pair>& pairs) {
  std::vector<Node> members;
  members.reserve(pairs.size());
  for (const Pair& pair : pairs) members.push_back(pair.first);
  return Node::set_of(std::move(members));
}

std::string tag_of(const char* tag) {
  return tag ? tag : "";
}

class Loader {
 public:
  Loader(std::string_view text, std::string_view source)
      : reader_(text, source), merge_keys_(text.size(), reader_) {}

  Node run();

 private:
  [[noreturn]] void fail(const yaml_mark_t& mark, const std::string& problem) const {
    reader_.fail(mark, problem);
  }
  Built scalar(const yaml_event_t& event);
  Built alias(const yaml_event_t& event);
  void open(const yaml_event_t& event, bool mapping);
  Built close();
  void add(Built built);
  const Node& value_of(const Built& built) const;
  void remember(const std::string& name, const Built& built);
  void claim_anchor(const std::string& name, const yaml_mark_t& mark);

  detail::EventReader reader_;
  std::vector<Frame> stack_;
  std::optional<Built> root_;
  std::unordered_map<std::string, Anchor> anchors_;
  detail::MergeKeys merge_keys_;
};

const Node& Loader::value_of(const Built& built) const {
  if (built.special != Special::None) {
    const char* tag = built.special == Special::Merge ? "merge" : "value";
    fail(built.mark,
         std::string("could not determine a constructor for the tag 'tag:yaml.org,2002:") + tag +
             "'");
  }
  return built.node;
}

void Loader::remember(const std::string& name, const Built& built) {
  Anchor& anchor = anchors_[name];
  anchor.built = built;
}

void Loader::claim_anchor(const std::string& name, const yaml_mark_t& mark) {
  const auto [it, fresh] = anchors_.try_emplace(name);
  if (!fresh) {
    fail(mark,
         "found duplicate anchor (first occurrence at " + detail::describe(it->second.mark) + ")");
  }
  it->second.mark = mark;
}

Built Loader::scalar(const yaml_event_t& event) {
  const auto& s = event.data.scalar;
  const std::string_view text(reinterpret_cast<const char*>(s.value), s.length);
  const std::string tag = tag_of(reinterpret_cast<const char*>(s.tag));
  Built built;
  built.mark = event.start_mark;
  try {
    if (tag.empty() || tag == "!") {
      const PlainType type = s.plain_implicit ? resolve_plain(text) : PlainType::String;
      if (type == PlainType::Merge) {
        built.special = Special::Merge;
      } else if (type == PlainType::Value) {
        built.special = Special::Value;
      } else {
        built.node = detail::construct_plain(text, type);
      }
    } else if (tag == std::string(detail::kTagPrefix) + "merge") {
      built.special = Special::Merge;
    } else if (tag == std::string(detail::kTagPrefix) + "value") {
      built.special = Special::Value;
    } else {
      built.node = detail::construct_tagged(text, tag);
    }
  } catch (const detail::ScalarError& error) {
    fail(event.start_mark, error.what());
  } catch (const std::invalid_argument&) {
    fail(event.start_mark, "cannot read this value");  // never quote it: it may be a secret
  }
  return built;
}

Built Loader::alias(const yaml_event_t& event) {
  const std::string name = reinterpret_cast<const char*>(event.data.alias.anchor);
  const auto found = anchors_.find(name);
  // Never the alias's name: an unquoted "*Secr3t" password reads as one.
  if (found == anchors_.end()) fail(event.start_mark, "found undefined alias");
  if (!found->second.built) {
    fail(event.start_mark, "found recursive alias: a value that contains itself is not supported");
  }
  Built built = *found->second.built;
  built.mark = event.start_mark;
  return built;
}

void Loader::open(const yaml_event_t& event, bool mapping) {
  if (stack_.size() >= kMaxDepth) {
    fail(event.start_mark, "nesting deeper than " + std::to_string(kMaxDepth) + " levels");
  }
  const yaml_char_t* anchor =
      mapping ? event.data.mapping_start.anchor : event.data.sequence_start.anchor;
  const std::string tag = tag_of(reinterpret_cast<const char*>(
      mapping ? event.data.mapping_start.tag : event.data.sequence_start.tag));
  Frame frame;
  if (!tag.empty() && tag != "!") {
    try {
      frame.set = detail::tagged_as_set(tag, mapping);
    } catch (const detail::ScalarError& error) {
      fail(event.start_mark, error.what());
    }
  }
  frame.mapping = mapping;
  frame.mark = event.start_mark;
  if (anchor) {
    frame.anchor = reinterpret_cast<const char*>(anchor);
    claim_anchor(frame.anchor, event.start_mark);
  }
  stack_.push_back(std::move(frame));
}

Built Loader::close() {
  Frame frame = std::move(stack_.back());
  stack_.pop_back();
  Built built;
  built.mark = frame.mark;
  if (frame.mapping) {
    // Merged pairs first, then the mapping's own: a later pair with an equal
    // key replaces the value and keeps the earlier position.
    std::vector<Pair> pairs = std::move(frame.merged);
    pairs.reserve(pairs.size() + frame.own.size());
    for (Pair& pair : frame.own) pairs.push_back(std::move(pair));
    built.node = frame.set ? set_of(pairs) : Node::mapping(std::move(pairs));
  } else {
    built.node = Node::sequence(std::move(frame.items));
    built.non_mapping_item = frame.non_mapping_item;
  }
  if (!frame.anchor.empty()) remember(frame.anchor, built);
  return built;
}

void Loader::add(Built built) {
  if (stack_.empty()) {
    root_ = std::move(built);
    return;
  }
  Frame& frame = stack_.back();
  if (!frame.mapping) {
    frame.items.push_back(value_of(built));
    if (!detail::mergeable(built.node) && !frame.non_mapping_item)
      frame.non_mapping_item = built.mark;
    return;
  }
  if (!frame.key) {
    if (built.special == Special::Value) {
      built.node = Node::string("=");
      built.special = Special::None;
    } else if (built.special == Special::None && detail::is_unhashable(built.node.kind())) {
      fail(built.mark, "found unhashable key");
    }
    frame.key = std::move(built);
    return;
  }
  Built key = std::move(*frame.key);
  frame.key.reset();
  if (key.special == Special::Merge) {
    if (built.special != Special::None) value_of(built);
    merge_keys_.merge({built.node, built.mark, built.non_mapping_item}, frame.set, frame.merged);
  } else {
    if (frame.set && !value_of(built).is_null()) fail(built.mark, detail::kSetValueProblem);
    frame.own.emplace_back(std::move(key.node), value_of(built));
  }
}

Node Loader::run() {
  reader_.next();  // stream start
  if (reader_.next().type == YAML_STREAM_END_EVENT) return Node();
  for (;;) {
    const yaml_event_t& e = reader_.next();
    switch (e.type) {
      case YAML_SCALAR_EVENT: {
        Built built = scalar(e);
        if (e.data.scalar.anchor) {
          const std::string name = reinterpret_cast<const char*>(e.data.scalar.anchor);
          claim_anchor(name, e.start_mark);
          anchors_[name].built = built;
        }
        add(std::move(built));
        break;
      }
      case YAML_ALIAS_EVENT:
        add(alias(e));
        break;
      case YAML_SEQUENCE_START_EVENT:
        open(e, false);
        break;
      case YAML_MAPPING_START_EVENT:
        open(e, true);
        break;
      case YAML_SEQUENCE_END_EVENT:
      case YAML_MAPPING_END_EVENT:
        add(close());
        break;
      case YAML_DOCUMENT_END_EVENT: {
        const yaml_event_t& after = reader_.next();
        if (after.type != YAML_STREAM_END_EVENT) {
          fail(after.start_mark,
               "expected a single document in the stream, but found another document");
        }
        return root_ ? value_of(*root_) : Node();
      }
      default:
        fail(e.start_mark, "unexpected event");
    }
  }
}

}  // namespace

ParseError::ParseError(std::string source, std::size_t line, std::size_t column,
                       std::string problem)
    : std::runtime_error(source + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " +
                         problem),
      source_(std::move(source)),
      line_(line),
      column_(column),
      problem_(std::move(problem)) {}

Node load(std::string_view text, std::string_view source) {
  return Loader(text, source).run();
}

}  // namespace zarn::yaml
