#pragma once

#include <memory>
#include <string>

namespace zarn::host {

/// The settings mapping of one compute entry, as the host keeps it.
class ComputeConfig {
 public:
  virtual ~ComputeConfig() = default;
  virtual bool contains(const std::string& key) = 0;
  virtual void erase(const std::string& key) = 0;
};

/// The host's registry of compute settings for one project.
class ComputeRegistry {
 public:
  virtual ~ComputeRegistry() = default;
  /// The config of the entry of that name; null when the registry has none.
  virtual std::unique_ptr<ComputeConfig> entry_config(const std::string& name) = 0;
  /// Writes the registry back.
  virtual void _save() = 0;
};

}  // namespace zarn::host
