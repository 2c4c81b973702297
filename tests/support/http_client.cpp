#include "support/http_client.h"

#include <utility>

namespace zarn::testing {

using net::HttpError;

HttpClient::HttpClient(os::InterruptPoll pending_interrupt)
    : engine_(net::open_transfer_engine(std::move(pending_interrupt))) {}

HttpClient::~HttpClient() = default;

std::string HttpClient::get(const std::string& url, std::chrono::seconds timeout,
                            std::size_t max_bytes) {
  std::string body;
  get(url, timeout, [&body, max_bytes](std::string_view piece) {
    if (body.size() + piece.size() > max_bytes) {
      throw HttpError("response larger than " + std::to_string(max_bytes) + " bytes");
    }
    body.append(piece);
  });
  return body;
}

void HttpClient::get(const std::string& url, std::chrono::seconds timeout,
                     const net::BodySink& sink) {
  bool ended = false;
  std::exception_ptr failure;
  const auto id = engine_->start(url, timeout, sink, [&](std::exception_ptr error) {
    ended = true;
    failure = std::move(error);
  });
  try {
    engine_->run_until([&ended] { return ended; });
  } catch (...) {
    engine_->cancel(id);
    throw;
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace zarn::testing
