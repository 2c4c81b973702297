// The entry points of libzarn-net.so, the module the zarn executable loads on
// its first transfer. Only these two are exported.
#include "host/network.h"
#include "net/curl_network.h"

extern "C" {

/// The kNetworkInterface this module was built with.
__attribute__((visibility("default"))) int zarn_net_interface() {
  return zarn::host::kNetworkInterface;
}

/// The module's network, owned by the module.
__attribute__((visibility("default"))) zarn::host::Network* zarn_net_network() {
  return &zarn::net::curl_network();
}
}
