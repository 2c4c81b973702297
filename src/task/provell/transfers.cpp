// The task's transfer engine, set up from the host's environment.

#include <filesystem>

#include "net/netrc.h"
#include "net/transfer_engine.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {

net::TransferEngine& ProvellTask::engine() {
  if (!engine_) {
    const os::Environment environment = host_.environment();
    net::TransferOptions options;
    options.max_parallel = transfers.jobs;
    // One at a time stays one at a time, in the order of the report.
    options.max_streams = transfers.jobs > 1 ? transfers.streams : 1;
    options.max_body_bytes = transfers.max_archive_bytes;
    if (const auto home = environment.get_non_empty("HOME")) {
      options.netrc = net::read_netrc(std::filesystem::path(*home) / ".netrc",
                                      [this](std::string_view line) { host_.notice(line); });
    }
    // What the Python ecosystem's TLS honours, and curl's own variable first.
    const auto ca_file = environment.get_non_empty("CURL_CA_BUNDLE");
    options.ca_file = ca_file ? *ca_file : environment.get_non_empty("SSL_CERT_FILE").value_or("");
    options.ca_dir = environment.get_non_empty("SSL_CERT_DIR").value_or("");
    engine_ =
        net::open_transfer_engine([this] { return host_.pending_interrupt(); }, std::move(options));
  }
  return *engine_;
}

}  // namespace zarn::provell
