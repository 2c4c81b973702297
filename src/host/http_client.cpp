#include "host/http_client.h"

#include <utility>

#include "host/transfer_engine.h"

namespace zarn::host {

struct HttpClient::Handle {
  explicit Handle(InterruptPoll poll) : engine(open_transfer_engine(std::move(poll))) {}
  std::unique_ptr<TransferEngine> engine;
};

HttpClient::HttpClient(InterruptPoll pending_interrupt)
    : handle_(std::make_unique<Handle>(std::move(pending_interrupt))) {}

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

void HttpClient::get(const std::string& url, std::chrono::seconds timeout, const BodySink& sink) {
  bool ended = false;
  std::exception_ptr failure;
  const auto id = handle_->engine->start(url, timeout, sink, [&](std::exception_ptr error) {
    ended = true;
    failure = std::move(error);
  });
  try {
    handle_->engine->run_until([&ended] { return ended; });
  } catch (...) {
    handle_->engine->cancel(id);
    throw;
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace zarn::host
