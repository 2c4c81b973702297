#include "net/sha1.h"

#include "net/network.h"

namespace zarn::net {

Sha1::Sha1() = default;

Sha1::~Sha1() = default;

void Sha1::update(std::string_view bytes) {
  digest().update(bytes);
}

std::string Sha1::hex_digest() {
  return digest().hex_digest();
}

Digest& Sha1::digest() {
  if (!digest_) digest_ = network().sha1();
  return *digest_;
}

}  // namespace zarn::net
