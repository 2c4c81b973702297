#include "cli/connection_list.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "text/printable.h"
#include "text/utf8.h"

namespace zarn::cli {
namespace {

using provell::ListedConnection;

std::string padded(std::string_view text, std::size_t width) {
  return std::string(text) +
         std::string(width - std::min(width, zarn::text::utf8_character_count(text)), ' ');
}

void print_table(terminal::Printer& printer, const std::vector<ListedConnection>& connections) {
  std::vector<std::array<std::string, 4>> rows{{"NAME", "TYPE", "PROFILE", "PACKAGE"}};
  for (const ListedConnection& c : connections) {
    rows.push_back({text::printable(c.name), text::printable(c.type), text::printable(c.profile),
                    std::string(c.package.value_or("unknown"))});
  }
  std::array<std::size_t, 3> widths{};
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < widths.size(); ++i) {
      widths[i] = std::max(widths[i], zarn::text::utf8_character_count(row[i]));
    }
  }
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const bool marked = i > 0 && connections[i - 1].default_target;
    const auto& row = rows[i];
    printer.line(fmt::format("{} {}  {}  {}  {}", marked ? '*' : ' ', padded(row[0], widths[0]),
                             padded(row[1], widths[1]), padded(row[2], widths[2]), row[3]));
  }
  const bool any_marked = std::any_of(connections.begin(), connections.end(),
                                      [](const ListedConnection& c) { return c.default_target; });
  if (any_marked) printer.line("* the profile's default target");
}

/// The code point of the UTF-8 sequence of length bytes at text[at].
unsigned code_point(std::string_view text, std::size_t at, std::size_t length) {
  const auto byte = [&text, at](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  if (length == 1) return byte(0);
  if (length == 2) return ((byte(0) & 0x1fu) << 6) | (byte(1) & 0x3fu);
  return ((byte(0) & 0x0fu) << 12) | ((byte(1) & 0x3fu) << 6) | (byte(2) & 0x3fu);
}

void print_json(terminal::Printer& printer, const std::string& profiles_file,
                const std::vector<ListedConnection>& connections) {
  printer.line("{");
  printer.line(fmt::format("  \"profiles_file\": {},", json_string(profiles_file)));
  printer.line(fmt::format("  \"connections\": [{}", connections.empty() ? "]" : ""));
  for (std::size_t i = 0; i < connections.size(); ++i) {
    const ListedConnection& c = connections[i];
    const std::string package = c.package ? json_string(*c.package) : "null";
    printer.line(
        fmt::format("    {{\"name\": {}, \"type\": {}, \"profile\": {}, \"package\": {}, "
                    "\"default_target\": {}}}{}",
                    json_string(c.name), json_string(c.type), json_string(c.profile), package,
                    c.default_target, i + 1 < connections.size() ? "," : ""));
  }
  if (!connections.empty()) printer.line("  ]");
  printer.line("}");
}

}  // namespace

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (const std::size_t length = text::unsafe_character_at(text, i); length != 0) {
      out += fmt::format("\\u{:04x}", code_point(text, i, length));
      i += length;
      continue;
    }
    if (c == '"' || c == '\\') out += '\\';
    out += c;
    ++i;
  }
  return out + "\"";
}

void print_listing(terminal::Printer& printer, const provell::ConnectionListing& listing,
                   bool json) {
  if (listing.missing_profile) {
    printer.warning(fmt::format("profile '{}' is not in profiles.yml; listing every profile",
                                text::printable(*listing.missing_profile)));
  }
  if (json) {
    print_json(printer, listing.profiles_file, listing.connections);
  } else if (listing.connections.empty()) {
    printer.line(fmt::format("No connections found in {}", text::printable(listing.profiles_file)));
  } else {
    print_table(printer, listing.connections);
  }
}

}  // namespace zarn::cli
