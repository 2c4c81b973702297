#pragma once

#include "net/network.h"

namespace zarn::net {

/// The network on libcurl and libcrypto, one for the process.
net::Network& curl_network();

}  // namespace zarn::net
