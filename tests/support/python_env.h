#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace zarn::testing {

/// A virtual environment of its own, borrowing the base interpreter's pip
/// when it has one, and a folder of hand-built adapter wheels, each holding
/// pelk/adapters/<module>/__init__.py. pelk and pelk.adapters stay namespace
/// packages, as real adapters leave them.
class PythonEnv {
 public:
  struct Wheel {
    std::string package;  ///< distribution name, such as "pelk-mysql"
    std::string module;   ///< folder below pelk/adapters, such as "mysql"
  };

  explicit PythonEnv(const std::vector<Wheel>& wheels);

  std::filesystem::path python() const { return root_ / "venv" / "bin" / "python"; }
  std::filesystem::path wheel_dir() const { return root_ / "wheels"; }
  /// The variables that point pip at the wheel folder and nowhere else.
  std::map<std::string, std::string> offline_pip_variables() const;
  /// Sets offline_pip_variables for this process and the children it starts itself.
  void use_offline_pip() const;

 private:
  TempDir dir_;
  std::filesystem::path root_;
};

}  // namespace zarn::testing
