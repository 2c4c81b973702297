#pragma once

#include <memory>

#include "net/network.h"

namespace zarn::net {

/// A SHA-1 digest of OpenSSL's libcrypto.
std::unique_ptr<net::Digest> openssl_sha1();

}  // namespace zarn::net
