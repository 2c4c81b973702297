#include "support/tls_certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <array>
#include <cstdio>
#include <memory>
#include <stdexcept>

namespace zarn::testing {
namespace {

template <typename T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, decltype([](T* p) { Free(p); })>;

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("cannot make a test certificate: ") + what);
}

void close_file(FILE* file) {
  std::fclose(file);
}

void write_pem(const std::filesystem::path& path, const auto& write) {
  const Owned<FILE, close_file> file(std::fopen(path.c_str(), "w"));
  check(file != nullptr, "open");
  check(write(file.get()) == 1, "write");
}

}  // namespace

TlsCertificate::TlsCertificate() {
  const Owned<EVP_PKEY, EVP_PKEY_free> key(EVP_EC_gen("P-256"));
  check(key != nullptr, "key");
  const Owned<X509, X509_free> cert(X509_new());
  check(cert != nullptr, "x509");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24L * 3600);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key.get());
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
  const std::array<std::array<const char*, 2>, 2> extensions{
      {{"subjectAltName", "IP:127.0.0.1"}, {"basicConstraints", "critical,CA:TRUE"}}};
  for (const auto& [field, value] : extensions) {
    X509_EXTENSION* extension = X509V3_EXT_conf(nullptr, &context, field, value);
    check(extension != nullptr, "extension");
    X509_add_ext(cert.get(), extension, -1);
    X509_EXTENSION_free(extension);
  }
  check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "sign");
  write_pem(certificate(), [&](FILE* f) { return PEM_write_X509(f, cert.get()); });
  write_pem(this->key(), [&](FILE* f) {
    return PEM_write_PrivateKey(f, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
  std::array<char, 16> hashed{};
  std::snprintf(hashed.data(), hashed.size(), "%08lx.0", X509_subject_name_hash(cert.get()));
  std::filesystem::create_directories(folder());
  std::filesystem::copy_file(certificate(), folder() / hashed.data());
}

}  // namespace zarn::testing
