#include "host/compute_registry.h"

#include <stdexcept>

#include "host/yaml_helper.h"
#include "host/yaml_merge.h"
#include "os/atomic_file.h"
#include "os/files.h"
#include "yaml/dump.h"
#include "yaml/top_level.h"

namespace zarn::host {
namespace {

constexpr std::string_view kHeader = "# ZARN Compute Configuration\n\n";

std::string registry_text(const std::filesystem::path& path) {
  return os::entry_exists(path) ? os::read_text_file(path) : std::string();
}

yaml::Node parse_registry(const std::string& text, const std::filesystem::path& path) {
  // A parse error's message already names the file, line and column.
  const yaml::Node computes = load_yaml_text(text, path.string());
  if (auto mapping = yaml::top_level_mapping(computes, yaml::EmptyDocument::kNull)) {
    return *mapping;
  }
  throw std::runtime_error(path.string() +
                           ": expected a mapping from compute name to settings at the top level");
}

/// A config mapping shared with the registry's document.
class NodeConfig : public ComputeConfig {
 public:
  explicit NodeConfig(yaml::Node config) : config_(std::move(config)) {}
  bool contains(const std::string& key) override { return config_.contains(key); }
  void erase(const std::string& key) override { config_.erase(key); }

 private:
  yaml::Node config_;
};

}  // namespace

yaml::Node ComputeEntry::config() {
  if (const yaml::Node* settings = entry_.find("config"); settings && settings->is_mapping()) {
    return *settings;
  }
  return yaml::Node::mapping();
}

FileComputeRegistry::FileComputeRegistry(const std::string& project_dir, os::LockWaiting waiting)
    : path_(std::filesystem::path(project_dir) / ".zarn" / "computes.yml"),
      waiting_(std::move(waiting)) {
  const std::string text = registry_text(path_);
  base_ = parse_registry(text, path_);
  computes_ = parse_registry(text, path_);
}

std::optional<ComputeEntry> FileComputeRegistry::get(const std::string& name) {
  const yaml::Node* entry = computes_.find(name);
  if (entry == nullptr || !entry->is_mapping()) return std::nullopt;
  return ComputeEntry(*entry);
}

std::unique_ptr<ComputeConfig> FileComputeRegistry::entry_config(const std::string& name) {
  auto entry = get(name);
  if (!entry) return nullptr;
  return std::make_unique<NodeConfig>(entry->config());
}

void FileComputeRegistry::_save() {
  // A registry that links elsewhere is replaced where it lives, under that folder's lock.
  const std::filesystem::path file = os::written_file(path_);
  os::create_folders(file.parent_path());
  const os::FolderLock lock(file.parent_path(), waiting_);
  const yaml::Node on_disk = parse_registry(registry_text(path_), path_);
  const yaml::Node merged = on_disk == base_ ? computes_ : merge_changes(base_, computes_, on_disk);
  const std::string text = std::string(kHeader) + yaml::dump(merged);
  os::write_file_atomic(file, text);
  // What was written is the new starting point. The merge reuses our own
  // values where only we changed them, so configs handed out stay attached.
  base_ = parse_registry(text, path_);
  computes_ = merged;
}

}  // namespace zarn::host
