// `zarn cache`: where the driver cache lives, what it holds, and emptying
// and checking it.

#include <fmt/format.h>

#include <memory>

#include "cache/cache_folder.h"
#include "cache/cache_maintenance.h"
#include "cli/commands.h"
#include "cli/connection_list.h"
#include "host/lock_waiting.h"
#include "os/path_text.h"

namespace zarn::cli {
namespace {

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

struct CacheOptions {
  bool json = false;
};

std::string folder_of(host::ExecutableHost& host) {
  return os::path_text(cache::cache_folder(host.environment()));
}

std::string megabytes(std::uint64_t bytes) {
  return fmt::format("{:.1f} MB", static_cast<double>(bytes) / kBytesPerMegabyte);
}

void print_usage(terminal::Printer& printer, const std::string& folder,
                 const cache::CacheUsage& usage, bool json, std::string_view verb,
                 std::string_view where) {
  const std::size_t entries = usage.archives + usage.descriptors;
  if (json) {
    printer.line(fmt::format(
        R"({{"folder": {}, "entries": {}, "archives": {}, "descriptors": {}, "bytes": {}}})",
        json_string(folder), entries, usage.archives, usage.descriptors, usage.bytes));
    return;
  }
  printer.line(fmt::format("{} {} entries ({} archives, {} descriptors), {}, {} {}", verb, entries,
                           usage.archives, usage.descriptors, megabytes(usage.bytes), where,
                           folder));
}

void print_verify(terminal::Printer& printer, const std::string& folder,
                  const cache::VerifyOutcome& outcome, bool json) {
  if (json) {
    printer.line(fmt::format(R"({{"folder": {}, "checked": {}, "dropped": [)", json_string(folder),
                             outcome.checked));
    for (std::size_t i = 0; i < outcome.dropped.size(); ++i) {
      const auto& [path, reason] = outcome.dropped[i];
      printer.line(fmt::format(R"(  {{"path": {}, "reason": {}}}{})", json_string(path),
                               json_string(reason), i + 1 < outcome.dropped.size() ? "," : ""));
    }
    printer.line("]}");
    return;
  }
  for (const auto& [path, reason] : outcome.dropped) {
    printer.line(fmt::format("  dropped {}: {}", path, reason));
  }
  printer.line(fmt::format("Checked {} archives in {}: {} dropped (fetched again by the next sync)",
                           outcome.checked, folder, outcome.dropped.size()));
}

using Run = std::function<void(host::ExecutableHost&, const CacheOptions&)>;

void add(CLI::App& cache, host::ExecutableHost& host, Action& action, const std::string& name,
         const std::string& help, bool json, const Run& run) {
  auto options = std::make_shared<CacheOptions>();
  CLI::App* command = cache.add_subcommand(name, help);
  if (json) command->add_flag("--json", options->json, "Print one JSON document for scripts");
  command->callback([&host, &action, options, run] {
    action = [&host, options, run] {
      run(host, *options);
      return kExitSuccess;
    };
  });
}

}  // namespace

void add_cache_command(CLI::App& app, host::ExecutableHost& host, Action& action) {
  CLI::App* cache = app.add_subcommand("cache", "Show, check or empty the driver cache");
  cache->require_subcommand(1);
  add(*cache, host, action, "dir", "Print the driver cache folder", false,
      [](host::ExecutableHost& h, const CacheOptions&) { h.printer().line(folder_of(h)); });
  add(*cache, host, action, "size", "Print what the driver cache holds", true,
      [](host::ExecutableHost& h, const CacheOptions& options) {
        const std::string folder = folder_of(h);
        print_usage(h.printer(), folder, cache::cache_usage(folder), options.json, "Holds", "in");
      });
  add(*cache, host, action, "clean", "Empty the driver cache, once no sync uses it", true,
      [](host::ExecutableHost& h, const CacheOptions& options) {
        const std::string folder = folder_of(h);
        const auto removed = cache::clean_cache(folder, host::waiting_of(h));
        print_usage(h.printer(), folder, removed, options.json, "Removed", "from");
      });
  add(*cache, host, action, "verify", "Hash every archive and drop those that changed", true,
      [](host::ExecutableHost& h, const CacheOptions& options) {
        const std::string folder = folder_of(h);
        const auto outcome = cache::verify_cache(folder, host::waiting_of(h));
        print_verify(h.printer(), folder, outcome, options.json);
      });
}

}  // namespace zarn::cli
