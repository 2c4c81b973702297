#define CPPHTTPLIB_OPENSSL_SUPPORT
#include "support/server_fault.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace zarn::testing {

void serve_body(httplib::Response& response, std::string body, const Fault& fault,
                const std::atomic<bool>& stopping) {
  if (body.empty()) {  // a provider of no bytes is never called: the answer would hang
    response.set_content("", "application/octet-stream");
    return;
  }
  auto shared = std::make_shared<std::string>(std::move(body));
  if (fault.chunked) {
    response.set_chunked_content_provider(
        "application/octet-stream", [shared](std::size_t offset, httplib::DataSink& sink) {
          if (offset >= shared->size()) {
            sink.done();
            return true;
          }
          return sink.write(shared->data() + offset,
                            std::min<std::size_t>(shared->size() - offset, 64 * 1024));
        });
    return;
  }
  response.set_content_provider(
      shared->size(), "application/octet-stream",
      [&stopping, shared, fault](std::size_t offset, std::size_t, httplib::DataSink& sink) {
        std::size_t piece = std::min<std::size_t>(shared->size() - offset, 64 * 1024);
        if (fault.piece_size > 0) piece = std::min(piece, fault.piece_size);
        if (fault.stall_after) {
          if (offset >= *fault.stall_after) {
            if (fault.stalls != nullptr && !fault.cut) ++*fault.stalls;
            while (!fault.cut && !stopping)
              std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return false;
          }
          piece = std::min(piece, *fault.stall_after - offset);
        }
        if (fault.pause_ms > 0 && offset > 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(fault.pause_ms));
        }
        return !stopping && sink.write(shared->data() + offset, piece);
      });
}

}  // namespace zarn::testing
