#include "net/netrc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <vector>

#include "os/path_text.h"
#include "os/unique_fd.h"

namespace zarn::net {
namespace {

/// Far above any real netrc; a bigger file is not one.
constexpr std::size_t kMaxNetrcBytes = 1 << 20;

std::vector<std::string_view> tokens_of(std::string_view text) {
  std::vector<std::string_view> tokens;
  constexpr std::string_view kSpace = " \t\r\n\f\v";
  std::size_t at = 0;
  while ((at = text.find_first_not_of(kSpace, at)) != std::string_view::npos) {
    const std::size_t end = std::min(text.find_first_of(kSpace, at), text.size());
    if (text.substr(at, end - at) == "macdef") {
      // A macro runs to the first empty line and holds no logins.
      const std::size_t blank = text.find("\n\n", end);
      at = blank == std::string_view::npos ? text.size() : blank + 2;
      continue;
    }
    tokens.push_back(text.substr(at, end - at));
    at = end;
  }
  return tokens;
}

std::string lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

}  // namespace

const NetrcLogin* Netrc::login_for(const std::string& host) const {
  // Host names are compared without regard to case, as DNS does.
  if (const auto found = machines.find(lower(host)); found != machines.end()) {
    return &found->second;
  }
  return fallback ? &*fallback : nullptr;
}

Netrc parse_netrc(std::string_view text) {
  Netrc netrc;
  const auto tokens = tokens_of(text);
  NetrcLogin* current = nullptr;
  NetrcLogin repeated;  ///< a machine's later entries, ignored
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const std::string_view token = tokens[i];
    const bool has_value = i + 1 < tokens.size();
    if (token == "default") {
      current = &netrc.fallback.emplace();
    } else if (token == "machine" && has_value) {
      // The first entry for a machine wins, as in other netrc readers.
      const auto [entry, inserted] = netrc.machines.try_emplace(lower(tokens[++i]));
      current = inserted ? &entry->second : &repeated;
    } else if (token == "login" && has_value && current != nullptr) {
      current->login = tokens[++i];
    } else if (token == "password" && has_value && current != nullptr) {
      current->password = tokens[++i];
    } else if (token == "account" && has_value) {
      ++i;
    }
  }
  return netrc;
}

Netrc read_netrc(const std::filesystem::path& path,
                 const std::function<void(std::string_view)>& warn) {
  // Non-blocking: opening a FIFO for reading would wait for a writer.
  const os::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (!fd.valid()) return {};
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  if (static_cast<std::size_t>(info.st_size) > kMaxNetrcBytes) return {};
  std::string text(static_cast<std::size_t>(info.st_size), '\0');
  std::size_t filled = 0;
  while (filled < text.size()) {
    const ssize_t got = ::read(fd.get(), text.data() + filled, text.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  text.resize(filled);
  Netrc netrc = parse_netrc(text);
  if ((info.st_mode & (S_IRGRP | S_IROTH)) != 0 && !netrc.empty() && warn) {
    warn("⚠ " + os::path_text(path) +
         " can be read by others than its owner; its passwords are used all the same "
         "(chmod 600 it)");
  }
  return netrc;
}

}  // namespace zarn::net
