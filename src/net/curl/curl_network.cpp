#include "net/curl_network.h"

#include "net/curl_transfer_engine.h"
#include "net/openssl_sha1.h"

namespace zarn::net {
namespace {

class CurlNetwork final : public host::Network {
 public:
  std::unique_ptr<host::TransferEngine> engine(host::InterruptPoll pending_interrupt,
                                               host::TransferOptions options) override {
    return std::make_unique<CurlTransferEngine>(std::move(pending_interrupt), std::move(options));
  }
  std::unique_ptr<host::Digest> sha1() override { return openssl_sha1(); }
};

}  // namespace

host::Network& curl_network() {
  static CurlNetwork network;
  return network;
}

}  // namespace zarn::net
