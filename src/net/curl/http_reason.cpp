#include "net/curl/http_reason.h"

#include <utility>

namespace zarn::net {
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

std::string_view http_reason_phrase(long status) {
  for (const auto& [code, phrase] : kReasonPhrases) {
    if (code == status) return phrase;
  }
  return {};
}

}  // namespace zarn::net
