#include "support/http_client.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/maven_server.h"

namespace zarn::net {
namespace {

using std::chrono::seconds;
using testing::HttpClient;
using testing::MavenServer;

class HttpClientTest : public ::testing::Test {
 protected:
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(server.port()) + path;
  }
  std::string message_of(const std::string& path, seconds timeout = seconds(10)) {
    try {
      client.get(url(path), timeout);
    } catch (const HttpError& error) {
      return error.what();
    }
    return "no error";
  }

  MavenServer server;
  HttpClient client;
};

TEST_F(HttpClientTest, ReturnsTheBodyAndSendsTheUserAgent) {
  server.add_file("a.txt", "hello");
  EXPECT_EQ(client.get(url("/maven2/a.txt"), seconds(10)), "hello");
  EXPECT_EQ(server.last_user_agent(), "ZARN-Core/0.5.95");
}

TEST_F(HttpClientTest, ErrorStatusesBecomeReadableErrors) {
  server.fail_with("/maven2/forbidden", 403);
  server.fail_with("/maven2/odd", 599);
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {"/maven2/missing", "HTTP Error 404: Not Found"},
      {"/maven2/forbidden", "HTTP Error 403: Forbidden"},
      {"/maven2/odd", "HTTP Error 599: Internal Server Error"},  // the server's phrase
  };
  for (const auto& test : cases) EXPECT_EQ(message_of(test.path), test.message) << test.path;
}

TEST_F(HttpClientTest, FollowsRedirects) {
  server.add_file("real.txt", "moved here");
  server.redirect("/maven2/old.txt", "/maven2/real.txt");
  EXPECT_EQ(client.get(url("/maven2/old.txt"), seconds(10)), "moved here");
}

TEST_F(HttpClientTest, ReusesOneConnectionForEveryRequest) {
  server.add_file("a.txt", "a");
  for (int i = 0; i < 20; ++i) client.get(url("/maven2/a.txt"), seconds(10));
  EXPECT_THROW(client.get(url("/maven2/missing"), seconds(10)), HttpError);
  client.get(url("/maven2/a.txt"), seconds(10));
  EXPECT_EQ(server.total_requests(), 22);
  EXPECT_EQ(server.connections(), 1);
}

TEST_F(HttpClientTest, AStallOrATrickleEndsTheTransferAfterTheTimeOut) {
  server.add_file("big", std::string(100000, 'x'));
  server.add_file("trickle", std::string(100000, 'x'));
  server.stall_after("/maven2/big", 1000);
  server.slow_body("/maven2/trickle", 1, 50);  // 20 bytes a second: days for the whole body
  EXPECT_EQ(message_of("/maven2/big", seconds(1)).substr(0, 10), "timed out:");
  EXPECT_EQ(message_of("/maven2/trickle", seconds(1)), "timed out: under 1 KiB/s for 1 seconds");
}

TEST_F(HttpClientTest, ABodyThatKeepsArrivingOutlastsTheTimeOut) {
  // 150 pieces 10 ms apart: at least 1.49 s in all, yet never a pause near the
  // time-out nor a rate near its floor (8 KiB every 10 ms).
  server.add_file("slow", std::string(150 * 8192, 'x'));
  server.slow_body("/maven2/slow", 8192, 10);
  EXPECT_EQ(client.get(url("/maven2/slow"), seconds(1)).size(), 150u * 8192);
}

TEST_F(HttpClientTest, BodiesOverTheLimitAreRefused) {
  server.add_file("a.txt", std::string(5000, 'x'));
  EXPECT_THROW(client.get(url("/maven2/a.txt"), seconds(10), 4096), HttpError);
}

TEST_F(HttpClientTest, AnErrorOfTheSinkAbortsAndIsRethrown) {
  server.add_file("a.txt", "abc");
  EXPECT_THROW(client.get(url("/maven2/a.txt"), seconds(10),
                          [](std::string_view) { throw std::logic_error("disk full"); }),
               std::logic_error);
  EXPECT_EQ(client.get(url("/maven2/a.txt"), seconds(10)), "abc");
}

TEST(HttpClient, OnlyHttpAndHttpsAreFetched) {
  HttpClient client;
  EXPECT_THROW(client.get("file:///etc/hostname", seconds(10)), HttpError);
}

}  // namespace
}  // namespace zarn::net
