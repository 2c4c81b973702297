#include "cli/connection_list.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "host/errors.h"
#include "task/provell/catalogue.h"
#include "text/printable.h"
#include "text/utf8.h"

namespace zarn::cli {
namespace {

struct ListedConnection {
  std::string name;
  std::string type;
  std::string profile;
  std::optional<std::string_view> package;
  bool default_target = false;
};

/// The value of the profile's `target` key, as text; empty when it has none.
std::string default_target_of(const yaml::Node& profiles, const std::string& profile_name) {
  for (const auto& [name, profile] : profiles.entries()) {
    if (name.str() != profile_name || !profile.is_mapping()) continue;
    const yaml::Node* target = profile.find("target");
    return target != nullptr ? target->str() : std::string();
  }
  return {};
}

std::vector<ListedConnection> listed_connections(const terminal::Printer& printer,
                                                 provell::ProvellTask& task) {
  const yaml::Node profiles = task._load_profiles();
  const provell::ConnectionInventory inventory = task.get_connections_info();
  const std::optional<std::string> chosen = task._get_profile_name();
  // Names carry a "{profile}." prefix unless the sync picked one profile.
  const bool one_profile = chosen && !chosen->empty() && profiles.contains(*chosen);
  if (chosen && !chosen->empty() && !one_profile) {
    printer.warning(fmt::format("profile '{}' is not in profiles.yml; listing every profile",
                                text::printable(*chosen)));
  }
  std::vector<ListedConnection> listed;
  for (const provell::Connection& connection : inventory) {
    const std::string target =
        one_profile ? connection.name : connection.name.substr(connection.profile.size() + 1);
    const std::string type = connection.type_text();
    listed.push_back({connection.name, type, connection.profile,
                      provell::lookup(provell::ADAPTER_PACKAGE_MAPPING, type),
                      target == default_target_of(profiles, connection.profile)});
  }
  return listed;
}

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

ExitStatus list_connections(host::ExecutableHost& host, provell::ProvellTask& task, bool json) {
  terminal::Printer& printer = host.printer();
  std::vector<ListedConnection> connections;
  try {
    connections = listed_connections(printer, task);
  } catch (const host::PelkRuntimeError& error) {
    printer.note(fmt::format("✗ Error: {}", error.what()));
    return kExitFailure;
  }
  const std::string profiles_file =
      (std::filesystem::path(task.profiles_dir) / "profiles.yml").string();
  if (json) {
    print_json(printer, profiles_file, connections);
  } else if (connections.empty()) {
    printer.line(fmt::format("No connections found in {}", text::printable(profiles_file)));
  } else {
    print_table(printer, connections);
  }
  return kExitSuccess;
}

}  // namespace zarn::cli
