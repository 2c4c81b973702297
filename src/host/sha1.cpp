#include "host/sha1.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace zarn::host {

struct Sha1::Context {
  Context() : md(EVP_MD_CTX_new()) {
    if (md == nullptr || EVP_DigestInit_ex(md, EVP_sha1(), nullptr) != 1) {
      EVP_MD_CTX_free(md);
      throw std::runtime_error("cannot start a SHA-1 digest");
    }
  }
  ~Context() { EVP_MD_CTX_free(md); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  EVP_MD_CTX* md;
};

Sha1::Sha1() : context_(std::make_unique<Context>()) {}

Sha1::~Sha1() = default;

void Sha1::update(std::string_view bytes) {
  if (EVP_DigestUpdate(context_->md, bytes.data(), bytes.size()) != 1) {
    throw std::runtime_error("cannot compute a SHA-1 digest");
  }
}

std::string Sha1::hex_digest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context_->md, digest, &length) != 1) {
    throw std::runtime_error("cannot compute a SHA-1 digest");
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 0xF];
  }
  return text;
}

}  // namespace zarn::host
