#include "host/http_client.h"

#include <utility>

#include "host/transfer_engine.h"

namespace zarn::host {
namespace {

constexpr std::pair<long, std::string_view> kReasonPhrases[] = {
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Found"},
    {303, "See Other"},
    {304, "Not Modified"},
    {307, "Temporary Redirect"},
    {308, "Permanent Redirect"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {429, "Too Many Requests"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

}  // namespace

struct HttpClient::Handle {
  explicit Handle(InterruptPoll poll) : engine(std::move(poll)) {}
  TransferEngine engine;
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
  const auto id = handle_->engine.start(url, timeout, sink, [&](std::exception_ptr error) {
    ended = true;
    failure = std::move(error);
  });
  try {
    handle_->engine.run_until([&ended] { return ended; });
  } catch (...) {
    handle_->engine.cancel(id);
    throw;
  }
  if (failure) std::rethrow_exception(failure);
}

std::string_view http_reason_phrase(long status) {
  for (const auto& [code, phrase] : kReasonPhrases) {
    if (code == status) return phrase;
  }
  return {};
}

}  // namespace zarn::host
