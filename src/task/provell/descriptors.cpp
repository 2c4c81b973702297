#include "task/provell/descriptors.h"

#include <stdexcept>
#include <string_view>

#include "task/provell/coordinates.h"
#include "task/provell/pom.h"
#include "task/provell/sync_cache.h"

namespace zarn::provell {
namespace {

constexpr std::size_t kMaxDescriptorBytes = 32 << 20;

/// Whether a dependency is needed at run time and names its version.
bool is_followed(const PomDependency& dependency) {
  if (dependency.scope && (*dependency.scope == "test" || *dependency.scope == "provided")) {
    return false;
  }
  if (dependency.optional && *dependency.optional == "true") return false;
  return dependency.group_id && dependency.artifact_id && dependency.version;
}

}  // namespace

Descriptors::Descriptors(Transfers& transfers)
    : transfers_(transfers),
      look_ahead_(transfers.settings().runs_ahead()),
      replay_(*this, transfers.settings().max_archives) {}

Descriptors::~Descriptors() {
  for (const auto& [coord, entry] : entries_) {
    if (!entry.ended) transfers_.engine().cancel(entry.id);
  }
}

void Descriptors::plan(const std::string& coord, const std::set<std::string>& resolved, int depth) {
  if (!look_ahead_) return;
  replay_.add_walk(coord, resolved, depth);
  replay_.advance();
}

const std::vector<std::string>& Descriptors::dependencies(const std::string& coord) {
  Entry& entry = request(coord);
  if (!entry.ended) {
    transfers_.engine().prioritize(entry.id);
    transfers_.engine().run_until([&entry] { return entry.ended; });
  }
  parse(entry);
  if (entry.error) std::rethrow_exception(entry.error);
  return entry.children;
}

bool Descriptors::want(const std::string& coord) {
  try {
    request(coord);
    return true;
  } catch (const std::invalid_argument&) {
    return false;  // an unsafe coordinate is never fetched; the walk reads nothing either
  }
}

const std::vector<std::string>* Descriptors::ready(const std::string& coord) {
  Entry& entry = entries_.at(coord);
  if (!entry.ended) return nullptr;
  parse(entry);
  return &entry.children;
}

Descriptors::Entry& Descriptors::request(const std::string& coord) {
  if (const auto found = entries_.find(coord); found != entries_.end()) return found->second;
  const std::string url = descriptor_url(transfers_.archive_of(coord).first);
  Entry& entry = entries_.try_emplace(coord).first->second;
  entry.coord = coord;
  if (take_from_cache(entry)) {
    if (look_ahead_) replay_.advance();
  } else {
    fetch(entry, url);
  }
  return entry;
}

void Descriptors::fetch(Entry& entry, const std::string& url) {
  entry.id = transfers_.engine().start(
      url, transfers_.settings().descriptor_timeout,
      [&entry](std::string_view piece) {
        if (entry.body.size() + piece.size() > kMaxDescriptorBytes) {
          throw net::HttpError("response larger than " + std::to_string(kMaxDescriptorBytes) +
                               " bytes");
        }
        entry.body.append(piece);
      },
      [this, &entry](std::exception_ptr error) {
        entry.ended = true;
        ++transfers_.descriptors_fetched;
        if (error && transfers_.cache()) transfers_.cache()->descriptor_failed(entry.coord, error);
        entry.error = std::move(error);
        if (look_ahead_) replay_.advance();
      });
}

bool Descriptors::take_from_cache(Entry& entry) {
  SyncCache* const cache = transfers_.cache();
  if (cache == nullptr) return false;
  const bool absent = cache->descriptor_absent(entry.coord);
  auto body = absent ? std::nullopt : cache->descriptor(entry.coord);
  if (!absent && !body && !cache->offline()) return false;
  entry.ended = true;
  ++transfers_.descriptors_fetched;
  if (absent) {
    entry.error = std::make_exception_ptr(std::runtime_error("no descriptor in the repository"));
  } else if (body) {
    entry.body = std::move(*body);
    entry.from_cache = true;
  } else {
    entry.error = std::make_exception_ptr(std::runtime_error(std::string(kNotInCache)));
  }
  return true;
}

void Descriptors::parse(Entry& entry) {
  if (entry.parsed || entry.error) return;
  entry.parsed = true;
  try {
    for (const PomDependency& dependency : parse_pom_dependencies(entry.body)) {
      if (!is_followed(dependency)) continue;
      entry.children.push_back(*dependency.group_id + ":" + *dependency.artifact_id + ":" +
                               *dependency.version);
    }
    SyncCache* const cache = transfers_.cache();
    if (cache != nullptr && !entry.from_cache) cache->keep_descriptor(entry.coord, entry.body);
  } catch (const std::exception&) {
    entry.error = std::current_exception();
    entry.children.clear();
  }
  std::string().swap(entry.body);
}

}  // namespace zarn::provell
