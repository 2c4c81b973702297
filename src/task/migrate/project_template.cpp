#include "task/migrate/project_template.h"

#include <array>
#include <cstdio>
#include <string_view>

#include "os/atomic_file.h"
#include "os/files.h"
#include "yaml/load.h"

namespace zarn::migrate {
namespace {

constexpr std::string_view kHead = R"(version: '1.0.0'

# This setting configures which "profile" pelk uses for this project.
)";

constexpr std::string_view kBody = R"(
# These configurations specify where pelk should look for different types of files.
# The `model-paths` config, for example, states that models in this project can be
# found in the "models/" directory. You probably won't need to change these!
model-paths: ["models"]
analysis-paths: ["analyses"]
test-paths: ["tests"]
seed-paths: ["seeds"]
macro-paths: ["macros"]
snapshot-paths: ["snapshots"]

# ZARN-specific: Path for flat files (CSV, Parquet, etc.) for local data ingestion
flatfile-paths: ["flatfiles"]

clean-targets:
  - "target"
  - "pelk_packages"

# Configuring models
# Full documentation: https://docs.zarn.dev/build/configuring-models

# In this example config, we tell pelk to build all models in the example/
# directory as views. These settings can be overridden in the individual model
# files using the `{ config(...) }` macro.
models:
)";

constexpr std::string_view kTail =
    R"(    # Config indicated by + and applies to all files under models/example/
    +materialized: view
)";

/// YAML's line breaks beyond \n and \r: NEL, LINE SEPARATOR, PARAGRAPH SEPARATOR.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kUnicodeBreaks{{
    {"\xc2\x85", "\\N"},
    {"\xe2\x80\xa8", "\\L"},
    {"\xe2\x80\xa9", "\\P"},
}};

bool is_control(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}

bool needs_double_quotes(std::string_view text) {
  for (const unsigned char c : text) {
    if (is_control(c)) return true;
  }
  for (const auto& [bytes, escape] : kUnicodeBreaks) {
    if (text.find(bytes) != std::string_view::npos) return true;
  }
  return false;
}

std::string escape_control(unsigned char c) {
  switch (c) {
    case '\n':
      return "\\n";
    case '\t':
      return "\\t";
    case '\r':
      return "\\r";
    case '\0':
      return "\\0";
    default: {
      char buffer[5];
      std::snprintf(buffer, sizeof buffer, "\\x%02X", c);
      return buffer;
    }
  }
}

std::string double_quoted(std::string_view text) {
  std::string result = "\"";
  while (!text.empty()) {
    bool replaced = false;
    for (const auto& [bytes, escape] : kUnicodeBreaks) {
      if (text.starts_with(bytes)) {
        result += escape;
        text.remove_prefix(bytes.size());
        replaced = true;
        break;
      }
    }
    if (replaced) continue;
    const unsigned char c = static_cast<unsigned char>(text.front());
    if (c == '"' || c == '\\') {
      result += '\\';
      result += static_cast<char>(c);
    } else if (is_control(c)) {
      result += escape_control(c);
    } else {
      result += static_cast<char>(c);
    }
    text.remove_prefix(1);
  }
  return result + "\"";
}

bool reads_back_as_key(const std::string& text) {
  try {
    const yaml::Node document = yaml::load(text + ": x");
    if (!document.is_mapping() || document.size() != 1) return false;
    const yaml::Node& key = document.entries().front().first;
    return key.is_string() && key.as_string() == text;
  } catch (const yaml::ParseError&) {
    return false;
  }
}

}  // namespace

const char* const kFlatfilesGitignore =
    "# Ignore all flat files (CSV, Parquet, etc.)\n*\n!.gitignore\n";

std::string quoted_scalar(const std::string& text) {
  if (needs_double_quotes(text)) return double_quoted(text);
  std::string result = "'";
  for (const char c : text) {
    result += c;
    if (c == '\'') result += '\'';
  }
  return result + "'";
}

std::string mapping_key(const std::string& text) {
  if (!needs_double_quotes(text) && reads_back_as_key(text)) return text;
  return quoted_scalar(text);
}

std::string render_project_template(const std::string& project_name,
                                    const std::string& profile_name) {
  std::string text = "name: " + quoted_scalar(project_name) + "\n";
  text += kHead;
  text += "profile: " + quoted_scalar(profile_name) + "\n";
  text += kBody;
  text += "  " + mapping_key(project_name) + ":\n";
  text += kTail;
  return text;
}

void write_new_project(const std::filesystem::path& folder, const std::string& name) {
  os::write_file_atomic(folder / "zarn_project.yml", render_project_template(name, name));
  for (const std::string_view source : kSourceFolders) os::create_folder(folder / source);
  os::create_folder(folder / "flatfiles");
  os::write_file_atomic(folder / "flatfiles" / ".gitignore", kFlatfilesGitignore);
}

}  // namespace zarn::migrate
