#include <stdexcept>

#include "yaml/node_data.h"

namespace zarn::yaml {
namespace {

// Below this many entries a linear scan beats hashing.
constexpr std::size_t kIndexFrom = 12;

bool is_string_key(const Node& key, std::string_view text) {
  return key.is_string() && key.as_string() == text;
}

}  // namespace

template <class Match>
std::optional<std::size_t> MappingData::find_hashed(std::size_t hash, Match match) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t held = slots_[slot];
    if (held == 0) return std::nullopt;
    const std::size_t position = held - 1;
    if (hashes_[position] == hash && match(entries_[position].first)) return position;
  }
}

void MappingData::insert_slot(std::size_t position) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = hashes_[position] & mask;
  while (slots_[slot] != 0) slot = (slot + 1) & mask;
  slots_[slot] = static_cast<std::uint32_t>(position + 1);
}

void MappingData::build_index() {
  if (entries_.size() > UINT32_MAX / 4) throw std::length_error("mapping too large");
  hashes_.resize(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i)
    hashes_[i] = detail::key_hash(entries_[i].first);
  std::size_t capacity = 16;
  while (capacity < entries_.size() * 2) capacity *= 2;
  slots_.assign(capacity, 0);
  for (std::size_t i = 0; i < entries_.size(); ++i) insert_slot(i);
}

std::optional<std::size_t> MappingData::find(const Node& key) const {
  const auto match = [&key](const Node& candidate) {
    return candidate.same(key) || detail::scalar_equal(candidate, key);
  };
  if (slots_.empty()) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (match(entries_[i].first)) return i;
    }
    return std::nullopt;
  }
  return find_hashed(detail::key_hash(key), match);
}

std::optional<std::size_t> MappingData::find(std::string_view key) const {
  const auto match = [key](const Node& candidate) { return is_string_key(candidate, key); };
  if (slots_.empty()) {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (match(entries_[i].first)) return i;
    }
    return std::nullopt;
  }
  return find_hashed(detail::key_hash(key), match);
}

void MappingData::set(const Node& key, Node value) {
  const std::size_t hash = detail::key_hash(key);  // also rejects unhashable keys
  if (auto found = find(key)) {
    entries_[*found].second = std::move(value);
    return;
  }
  entries_.emplace_back(key, std::move(value));
  if (slots_.empty()) {
    if (entries_.size() >= kIndexFrom) build_index();
    return;
  }
  hashes_.push_back(hash);
  if (entries_.size() * 2 > slots_.size()) {
    build_index();
  } else {
    insert_slot(entries_.size() - 1);
  }
}

bool MappingData::erase(const Node& key) {
  if (detail::is_unhashable(key.kind())) return false;
  const auto found = find(key);
  if (!found) return false;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(*found));
  // Positions after the erased one moved: rebuild rather than patch.
  hashes_.clear();
  slots_.clear();
  if (entries_.size() >= kIndexFrom) build_index();
  return true;
}

bool MappingData::erase(std::string_view key) {
  const auto found = find(key);
  if (!found) return false;
  return erase(Node(entries_[*found].first));
}

}  // namespace zarn::yaml
