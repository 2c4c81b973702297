// The executable's network: libzarn-net.so, loaded on the first transfer so
// that commands without one never map libcurl and its libraries.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

#include "net/network.h"

namespace zarn::net {
namespace {

namespace fs = std::filesystem;

constexpr const char* kModuleName = "libzarn-net.so";

/// The folder of the running executable, with symbolic links resolved.
fs::path executable_dir() {
  std::array<char, 4096> buffer{};
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (length <= 0) throw std::runtime_error("cannot find the zarn executable (/proc/self/exe)");
  return fs::path(std::string(buffer.data(), static_cast<std::size_t>(length))).parent_path();
}

/// Whether only root or owner can change path: owned by one of them, and
/// not writable by group or others.
bool guarded(const fs::path& path, uid_t owner) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  return (info.st_uid == 0 || info.st_uid == owner) && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

/// The installed module or its folder when someone other than root and the
/// executable's owner could have planted or replaced it (a build in
/// /tmp/build looks in /tmp/lib/zarn), else nothing.
std::optional<fs::path> unguarded(const fs::path& module) {
  struct stat executable {};
  const uid_t owner = ::stat("/proc/self/exe", &executable) == 0 ? executable.st_uid : 0;
  for (const fs::path& path : {module, module.parent_path()}) {
    if (!guarded(path, owner)) return path;
  }
  return std::nullopt;
}

/// The module beside the executable (a build tree), else where an
/// installation puts it (bin/zarn with lib/zarn/libzarn-net.so), when only
/// root and the executable's owner can change it there.
fs::path find_module() {
  const fs::path dir = executable_dir();
  fs::path beside = dir / kModuleName;
  fs::path installed = (dir / ".." / "lib" / "zarn" / kModuleName).lexically_normal();
  std::error_code error;
  if (fs::exists(beside, error)) return beside;
  if (!fs::exists(installed, error)) {
    throw std::runtime_error(std::string("cannot load the network module ") + kModuleName +
                             ": not in " + dir.string() + " nor in " +
                             installed.parent_path().string());
  }
  if (const auto open_to_others = unguarded(installed)) {
    throw std::runtime_error("cannot load the network module " + installed.string() + ": " +
                             open_to_others->string() +
                             " can be changed by others than root and the owner of zarn");
  }
  return installed;
}

template <typename Function>
Function* entry(void* handle, const fs::path& module, const char* name) {
  void* symbol = dlsym(handle, name);
  if (symbol == nullptr) {
    throw std::runtime_error("cannot load the network module " + module.string() + ": no " + name);
  }
  return reinterpret_cast<Function*>(symbol);
}

Network& load() {
  const fs::path module = find_module();
  // Never closed: the engines, digests and exceptions it creates live on
  // code and type information inside it.
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    // dlerror() names the file only when the module itself is at fault.
    std::string reason = dlerror();
    if (const std::string own = module.string() + ": "; reason.starts_with(own)) {
      reason.erase(0, own.size());
    }
    throw std::runtime_error("cannot load the network module " + module.string() + ": " + reason);
  }
  const int version = entry<int()>(handle, module, "zarn_net_interface")();
  if (version != kNetworkInterface) {
    throw std::runtime_error("cannot load the network module " + module.string() +
                             ": built for another zarn (interface " + std::to_string(version) +
                             ", expected " + std::to_string(kNetworkInterface) + ")");
  }
  return *entry<Network*()>(handle, module, "zarn_net_network")();
}

}  // namespace

Network& network() {
  // A failed load throws out of the initialisation, so the next call tries again.
  static Network& loaded = load();
  return loaded;
}

}  // namespace zarn::net
