#include "net/curl/curl_network.h"

#include "net/curl/curl_transfer_engine.h"
#include "net/curl/openssl_sha1.h"

namespace zarn::net {
namespace {

class CurlNetwork final : public net::Network {
 public:
  std::unique_ptr<net::TransferEngine> engine(os::InterruptPoll pending_interrupt,
                                              net::TransferOptions options) override {
    return std::make_unique<CurlTransferEngine>(std::move(pending_interrupt), std::move(options));
  }
  std::unique_ptr<net::Digest> sha1() override { return openssl_sha1(); }
};

}  // namespace

net::Network& curl_network() {
  static CurlNetwork network;
  return network;
}

}  // namespace zarn::net
