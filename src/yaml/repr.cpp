#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_set>

#include "text/utf8.h"
#include "yaml/node_data.h"
#include "yaml/text_repr.h"

namespace zarn::yaml {
namespace {

using detail::Access;
using detail::append_bytes_repr;
using detail::append_string_repr;
using Data = Node::Data;

// Python's repr() of a datetime.date / datetime.datetime.
void append_timestamp_repr(std::string& out, const Timestamp& t) {
  char buffer[160];
  int length = 0;
  if (!t.has_time) {
    length =
        std::snprintf(buffer, sizeof buffer, "datetime.date(%d, %d, %d)", t.year, t.month, t.day);
    out.append(buffer, static_cast<std::size_t>(length));
    return;
  }
  length = std::snprintf(buffer, sizeof buffer, "datetime.datetime(%d, %d, %d, %d, %d", t.year,
                         t.month, t.day, t.hour, t.minute);
  out.append(buffer, static_cast<std::size_t>(length));
  if (t.second != 0 || t.microsecond != 0) out += ", " + std::to_string(t.second);
  if (t.microsecond != 0) out += ", " + std::to_string(t.microsecond);
  if (t.utc_offset_minutes) {
    const int offset = *t.utc_offset_minutes;
    if (offset == 0) {
      out += ", tzinfo=datetime.timezone.utc";
    } else if (offset > 0) {
      out +=
          ", tzinfo=datetime.timezone(datetime.timedelta(seconds=" + std::to_string(offset * 60) +
          "))";
    } else {
      out += ", tzinfo=datetime.timezone(datetime.timedelta(days=-1, seconds=" +
             std::to_string(86400 + offset * 60) + "))";
    }
  }
  out += ')';
}

void append_scalar(std::string& out, const Node& node, bool nested);

// Python prints a set's members in hash order; this prints them in theirs.
void append_set(std::string& out, const Node& set) {
  const auto& members = std::get<SetData>(Access::data(set)->value).members.entries();
  if (members.empty()) {
    out += "set()";
    return;
  }
  out += '{';
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (i > 0) out += ", ";
    append_scalar(out, members[i].first, true);  // members are scalars: no recursion
  }
  out += '}';
}

void append_scalar(std::string& out, const Node& node, bool nested) {
  switch (node.kind()) {
    case Kind::Null:
      out += "None";
      break;
    case Kind::Bool:
      out += node.as_bool() ? "True" : "False";
      break;
    case Kind::Int:
      out += node.as_integer().decimal();
      break;
    case Kind::Float:
      out += detail::float_repr(node.as_float());
      break;
    case Kind::String:
      if (nested) {
        append_string_repr(out, node.as_string());
      } else {
        out += node.as_string();
      }
      break;
    case Kind::Timestamp:
      if (nested) {
        append_timestamp_repr(out, node.as_timestamp());
      } else {
        out += node.as_timestamp().iso_text();
      }
      break;
    case Kind::Bytes:
      append_bytes_repr(out, node.as_bytes());
      break;
    case Kind::Set:
      append_set(out, node);
      break;
    case Kind::Sequence:
    case Kind::Mapping:
      break;
  }
}

}  // namespace

namespace detail {

std::string float_repr(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  (void)ec;
  // Shortest round-trip digits as "[-]d[.ddd]e±XX"; Python lays them out itself.
  const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
  const std::size_t e = text.find('e');
  std::string_view mantissa = text.substr(0, e);
  const bool negative = mantissa.front() == '-';
  if (negative) mantissa.remove_prefix(1);
  std::string digits(mantissa.substr(0, 1));
  if (mantissa.size() > 2) digits.append(mantissa.substr(2));
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exponent);

  std::string out = negative ? "-" : "";
  if (exponent >= 16 || exponent < -4) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    char tail[16];
    const int length = std::snprintf(tail, sizeof tail, "e%c%02d", exponent < 0 ? '-' : '+',
                                     exponent < 0 ? -exponent : exponent);
    out.append(tail, static_cast<std::size_t>(length));
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
      out += digits;
      out.append(whole - digits.size(), '0');
      out += ".0";
    } else {
      out.append(digits, 0, whole);
      out += '.';
      out.append(digits, whole);
    }
  }
  return out;
}

}  // namespace detail

std::string Node::str() const {
  std::string out;
  if (!detail::is_container(kind())) {
    append_scalar(out, *this, false);
    return out;
  }
  // Iterative, with Python's "[...]" for a value inside itself, and cut at
  // kMaxStrLength: aliases can make the text far larger than the document.
  struct Step {
    const Node* node = nullptr;   // a value to write, or
    const char* text = nullptr;   // literal text, or
    const Data* close = nullptr;  // the end of a container
  };
  std::vector<Step> steps{{this, nullptr, nullptr}};
  std::unordered_set<const Data*> open;
  while (!steps.empty() && out.size() <= kMaxStrLength) {
    const Step step = steps.back();
    steps.pop_back();
    if (step.text) {
      out += step.text;
      continue;
    }
    if (step.close) {
      out += detail::kind_of(step.close) == Kind::Sequence ? ']' : '}';
      open.erase(step.close);
      continue;
    }
    const Node& node = *step.node;
    const Data* data = Access::data(node);
    if (!detail::is_container(node.kind())) {
      append_scalar(out, node, true);
      continue;
    }
    const bool sequence = node.kind() == Kind::Sequence;
    if (!open.insert(data).second) {
      out += sequence ? "[...]" : "{...}";
      continue;
    }
    out += sequence ? '[' : '{';
    steps.push_back({nullptr, nullptr, data});
    if (sequence) {
      const auto& items = node.items();
      for (std::size_t i = items.size(); i-- > 0;) {
        steps.push_back({&items[i], nullptr, nullptr});
        if (i > 0) steps.push_back({nullptr, ", ", nullptr});
      }
    } else {
      const auto& entries = node.entries();
      for (std::size_t i = entries.size(); i-- > 0;) {
        steps.push_back({&entries[i].second, nullptr, nullptr});
        steps.push_back({nullptr, ": ", nullptr});
        steps.push_back({&entries[i].first, nullptr, nullptr});
        if (i > 0) steps.push_back({nullptr, ", ", nullptr});
      }
    }
  }
  if (out.size() > kMaxStrLength) {
    std::size_t cut = kMaxStrLength - 3;
    while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xc0) == 0x80) --cut;
    out.resize(cut);
    out += "...";
  }
  return out;
}

}  // namespace zarn::yaml
