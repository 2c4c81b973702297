// The network linked into the program, for the test programs and the Python
// plug-in: the plug-in then works wherever it is installed, with no module to
// find beside it.
#include "net/network.h"
#include "net/curl/curl_network.h"

namespace zarn::net {

Network& network() {
  return net::curl_network();
}

}  // namespace zarn::net
