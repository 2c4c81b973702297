#include "yaml/load.h"

#include <yaml.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "yaml/construct.h"
#include "yaml/event_reader.h"
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

// Merge keys copy pairs: `<<: *big` repeated in a small file could otherwise
// expand to gigabytes, as aliases of aliases would if they were copied.
constexpr std::size_t kMinMergeBudget = std::size_t{1} << 20;

// PyYAML drops such values; refusing them keeps a rewrite from losing them.
constexpr const char* kSetValueProblem = "a !!set member cannot have a value other than null";

// A mapping, or a set: a merge key takes either (a set's values are null).
bool mergeable(const Node& node) {
  return node.is_mapping() || node.is_set();
}

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
      : text_size_(text.size()),
        reader_(text, source),
        merge_budget_(std::max(kMinMergeBudget, text.size())) {}

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
  void merge(Frame& frame, const Built& value);
  const Node& value_of(const Built& built) const;
  void remember(const std::string& name, const Built& built);

  std::size_t text_size_;
  detail::EventReader reader_;
  std::vector<Frame> stack_;
  std::optional<Built> root_;
  std::unordered_map<std::string, Anchor> anchors_;
  std::size_t merge_budget_;  // pairs merge keys may still copy
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
    const auto [it, fresh] = anchors_.try_emplace(frame.anchor);
    if (!fresh) {
      fail(event.start_mark, "found duplicate anchor (first occurrence at " +
                                 detail::describe(it->second.mark) + ")");
    }
    it->second.mark = event.start_mark;
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

void Loader::merge(Frame& frame, const Built& value) {
  if (value.special != Special::None) value_of(value);
  const auto spend = [&](std::size_t pairs) {
    if (pairs > merge_budget_) {
      fail(value.mark, "merge keys expand the document too far (over " +
                           std::to_string(std::max(kMinMergeBudget, text_size_)) +
                           " merged entries)");
    }
    merge_budget_ -= pairs;
  };
  const auto take = [&](const Node& source) {
    if (source.is_set()) {  // written as a mapping of its members to null, it merges as one
      for (const Node& member : source.members()) frame.merged.emplace_back(member, Node());
      return;
    }
    for (const Pair& pair : source.entries()) {
      if (frame.set && !pair.second.is_null()) fail(value.mark, kSetValueProblem);
      frame.merged.push_back(pair);
    }
  };
  if (mergeable(value.node)) {
    spend(value.node.size());
    take(value.node);
    return;
  }
  if (!value.node.is_sequence()) {
    fail(value.mark, "expected a mapping or list of mappings for merging, but found scalar");
  }
  const auto& items = value.node.items();
  for (const Node& item : items) {
    if (!mergeable(item)) {
      fail(value.non_mapping_item.value_or(value.mark),
           std::string("expected a mapping for merging, but found ") +
               (item.is_sequence() ? "sequence" : "scalar"));
    }
  }
  for (const Node& item : items) spend(item.size());
  // Earlier mappings win: add the last one first so the earlier ones override.
  for (auto it = items.rbegin(); it != items.rend(); ++it) take(*it);
}

void Loader::add(Built built) {
  if (stack_.empty()) {
    root_ = std::move(built);
    return;
  }
  Frame& frame = stack_.back();
  if (!frame.mapping) {
    frame.items.push_back(value_of(built));
    if (!mergeable(built.node) && !frame.non_mapping_item) frame.non_mapping_item = built.mark;
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
    merge(frame, built);
  } else {
    if (frame.set && !value_of(built).is_null()) fail(built.mark, kSetValueProblem);
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
          const auto [it, fresh] = anchors_.try_emplace(name);
          if (!fresh) {
            fail(e.start_mark, "found duplicate anchor (first occurrence at " +
                                   detail::describe(it->second.mark) + ")");
          }
          it->second.mark = e.start_mark;
          it->second.built = built;
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
