// The executable's network: libzarn-net.so, loaded on the first transfer so
// that commands without one never map libcurl and its libraries.
#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

#include "host/network.h"

namespace zarn::host {
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

/// The module beside the executable (a build tree), else where an
/// installation puts it (bin/zarn with lib/zarn/libzarn-net.so).
fs::path find_module() {
  const fs::path dir = executable_dir();
  fs::path beside = dir / kModuleName;
  fs::path installed = (dir / ".." / "lib" / "zarn" / kModuleName).lexically_normal();
  std::error_code error;
  if (fs::exists(beside, error)) return beside;
  if (fs::exists(installed, error)) return installed;
  throw std::runtime_error(std::string("cannot load the network module ") + kModuleName +
                           ": not in " + dir.string() + " nor in " +
                           installed.parent_path().string());
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

}  // namespace zarn::host
