#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zarn::net {

class Digest;

/// The SHA-1 digest of bytes fed piece by piece. The digest comes from the
/// program's network (libcrypto), reached at the first byte, so holding one
/// costs nothing until it is fed.
class Sha1 {
 public:
  Sha1();
  ~Sha1();
  Sha1(const Sha1&) = delete;
  Sha1& operator=(const Sha1&) = delete;

  void update(std::string_view bytes);
  /// The digest of everything fed, as 40 lowercase hex digits; ends the feed.
  std::string hex_digest();

 private:
  Digest& digest();
  std::unique_ptr<Digest> digest_;
};

}  // namespace zarn::net
