// The task's transfer engine, set up from the host's environment.

#include <filesystem>

#include "host/netrc.h"
#include "host/transfer_engine.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {

host::TransferEngine& ProvellTask::engine() {
  if (!engine_) {
    const host::Environment environment = host_.environment();
    host::TransferOptions options;
    options.max_parallel = transfers.jobs;
    options.max_body_bytes = transfers.max_archive_bytes;
    if (const auto home = environment.get_non_empty("HOME")) {
      options.netrc = host::read_netrc(std::filesystem::path(*home) / ".netrc",
                                       [this](std::string_view line) { host_.notice(line); });
    }
    // What the Python ecosystem's TLS honours, and curl's own variable first.
    const auto ca_file = environment.get_non_empty("CURL_CA_BUNDLE");
    options.ca_file = ca_file ? *ca_file : environment.get_non_empty("SSL_CERT_FILE").value_or("");
    options.ca_dir = environment.get_non_empty("SSL_CERT_DIR").value_or("");
    engine_ = host::open_transfer_engine([this] { return host_.pending_interrupt(); },
                                         std::move(options));
  }
  return *engine_;
}

}  // namespace zarn::provell
