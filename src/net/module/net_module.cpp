// The entry points of libzarn-net.so, the module the zarn executable loads on
// its first transfer. Only these two are exported.
#include "net/curl/curl_network.h"
#include "net/network.h"

extern "C" {

/// The kNetworkInterface this module was built with.
__attribute__((visibility("default"))) int zarn_net_interface() {
  return zarn::net::kNetworkInterface;
}

/// The module's network, owned by the module.
__attribute__((visibility("default"))) zarn::net::Network* zarn_net_network() {
  return &zarn::net::curl_network();
}
}
