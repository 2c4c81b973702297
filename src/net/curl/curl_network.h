#pragma once

#include "host/network.h"

namespace zarn::net {

/// The network on libcurl and libcrypto, one for the process.
host::Network& curl_network();

}  // namespace zarn::net
