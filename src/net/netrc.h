#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace zarn::net {

/// A login and password of a netrc file.
struct NetrcLogin {
  std::string login;
  std::string password;

  friend bool operator==(const NetrcLogin&, const NetrcLogin&) = default;
};

/// The logins of a netrc file: one per "machine", and the "default" one.
struct Netrc {
  std::map<std::string, NetrcLogin> machines;
  std::optional<NetrcLogin> fallback;

  /// The login for host: its machine entry, else the default one.
  const NetrcLogin* login_for(const std::string& host) const;
  bool empty() const { return machines.empty() && !fallback; }
};

/// The logins of the netrc file at path. Nothing when it is missing or not a
/// regular file (a FIFO is never waited on). Calls warn once, naming the
/// file, when others than its owner may read it.
Netrc read_netrc(const std::filesystem::path& path,
                 const std::function<void(std::string_view)>& warn);

/// The logins of netrc text: whitespace-separated tokens, "macdef" bodies skipped.
Netrc parse_netrc(std::string_view text);

}  // namespace zarn::net
