#include "net/curl/openssl_sha1.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace zarn::net {
namespace {

class OpensslSha1 final : public net::Digest {
 public:
  OpensslSha1() : md_(EVP_MD_CTX_new()) {
    if (md_ == nullptr || EVP_DigestInit_ex(md_, EVP_sha1(), nullptr) != 1) {
      EVP_MD_CTX_free(md_);
      throw std::runtime_error("cannot start a SHA-1 digest");
    }
  }
  ~OpensslSha1() override { EVP_MD_CTX_free(md_); }
  OpensslSha1(const OpensslSha1&) = delete;
  OpensslSha1& operator=(const OpensslSha1&) = delete;

  void update(std::string_view bytes) override {
    if (EVP_DigestUpdate(md_, bytes.data(), bytes.size()) != 1) {
      throw std::runtime_error("cannot compute a SHA-1 digest");
    }
  }

  std::string hex_digest() override {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(md_, digest, &length) != 1) {
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

 private:
  EVP_MD_CTX* md_;
};

}  // namespace

std::unique_ptr<net::Digest> openssl_sha1() {
  return std::make_unique<OpensslSha1>();
}

}  // namespace zarn::net
