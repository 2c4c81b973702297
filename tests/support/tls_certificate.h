#pragma once

#include <filesystem>

#include "support/temp_dir.h"

namespace zarn::testing {

/// A fresh self-signed certificate for 127.0.0.1 and its key, as PEM files.
class TlsCertificate {
 public:
  TlsCertificate();
  std::filesystem::path certificate() const { return files_ / "cert.pem"; }
  std::filesystem::path key() const { return files_ / "key.pem"; }
  /// A folder holding the certificate under its hashed name, as OpenSSL looks it up.
  std::filesystem::path folder() const { return files_ / "authorities"; }

 private:
  TempDir files_;
};

}  // namespace zarn::testing
