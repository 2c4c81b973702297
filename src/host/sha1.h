#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zarn::host {

/// The SHA-1 digest of bytes fed piece by piece (OpenSSL's libcrypto).
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
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace zarn::host
