#include "task/provell/transfers.h"

#include <filesystem>

#include "net/netrc.h"
#include "task/provell/catalogue.h"
#include "task/provell/coordinates.h"
#include "task/provell/sync_cache.h"

namespace zarn::provell {

Transfers::Transfers(host::Host& host, TransferSettings settings)
    : host_(host), settings_(std::move(settings)) {}

Transfers::~Transfers() = default;

std::pair<std::string, std::string> Transfers::archive_of(const std::string& coord) const {
  return provell::archive_of(maven_repo(host_.environment()), coord);
}

net::TransferEngine& Transfers::engine() {
  if (engine_) return *engine_;
  const os::Environment environment = host_.environment();
  net::TransferOptions options;
  options.max_parallel = settings_.jobs;
  // One at a time stays one at a time, in the order of the report.
  options.max_streams = settings_.runs_ahead() ? settings_.streams : 1;
  options.max_body_bytes = settings_.max_archive_bytes;
  if (const auto home = environment.get_non_empty("HOME")) {
    options.netrc = net::read_netrc(std::filesystem::path(*home) / ".netrc",
                                    [this](std::string_view line) { host_.notice(line); });
  }
  // What the Python ecosystem's TLS honours, and curl's own variable first.
  const auto ca_file = environment.get_non_empty("CURL_CA_BUNDLE");
  options.ca_file = ca_file ? *ca_file : environment.get_non_empty("SSL_CERT_FILE").value_or("");
  options.ca_dir = environment.get_non_empty("SSL_CERT_DIR").value_or("");
  os::InterruptPoll poll = [this] { return host_.pending_interrupt(); };
  engine_ = settings_.open_engine ? settings_.open_engine(std::move(poll), std::move(options))
                                  : net::open_transfer_engine(std::move(poll), std::move(options));
  return *engine_;
}

}  // namespace zarn::provell
