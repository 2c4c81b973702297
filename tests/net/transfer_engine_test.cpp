#include "net/transfer_engine.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <thread>

#include "support/maven_server.h"
#include "support/nghttpd_server.h"
#include "support/tls_certificate.h"

namespace zarn::net {
namespace {

using std::chrono::seconds;
using testing::MavenServer;

TransferOptions parallel(std::size_t max_parallel) {
  TransferOptions options;
  options.max_parallel = max_parallel;
  return options;
}

class TransferEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a", "b", "c"}) server.add_file(name, name);
  }

  /// Starts a GET of /maven2/{name} that records its name in ended when done.
  TransferEngine::Id fetch(TransferEngine& engine, const std::string& name) {
    return engine.start(
        "http://127.0.0.1:" + std::to_string(server.port()) + "/maven2/" + name, seconds(1),
        [](std::string_view) {}, [this, name](std::exception_ptr) { ended.push_back(name); });
  }

  MavenServer server;
  std::vector<std::string> ended;
};

TEST_F(TransferEngineTest, TransfersEndInTheOrderTheQueueAndTheNetworkAllow) {
  server.stall_after("/maven2/a", 0);
  const struct {
    std::string name;
    std::size_t max_parallel;
    std::string first_priority;
    std::vector<std::string> order;
  } cases[] = {
      {"one at a time", 1, "", {"a", "b", "c"}},
      {"the stall does not hold the others", 2, "", {"b", "c", "a"}},
      {"a waited-for transfer jumps the queue", 1, "c", {"c", "a", "b"}},
  };
  for (const auto& test : cases) {
    ended.clear();
    const auto engine = open_transfer_engine({}, parallel(test.max_parallel));
    std::map<std::string, TransferEngine::Id> ids;
    for (const char* name : {"a", "b", "c"}) ids[name] = fetch(*engine, name);
    if (!test.first_priority.empty()) engine->prioritize(ids[test.first_priority]);
    engine->run_until([this] { return ended.size() == 3; });
    EXPECT_EQ(ended, test.order) << test.name;
  }
}

TEST_F(TransferEngineTest, AnInterruptStopsTheWaitAndCancelledTransfersNeverEnd) {
  int signal = 0;
  const auto engine = open_transfer_engine([&signal] { return signal; }, parallel(2));
  const auto cancelled = fetch(*engine, "a");
  fetch(*engine, "b");
  engine->cancel(cancelled);
  engine->run_until([this] { return !ended.empty(); });
  EXPECT_EQ(ended, std::vector<std::string>{"b"});

  server.stall_after("/maven2/c", 0);
  fetch(*engine, "c");
  signal = SIGTERM;
  try {
    engine->run_until([this] { return ended.size() == 2; });
    ADD_FAILURE() << "not interrupted";
  } catch (const TransferInterrupted& interrupted) {
    EXPECT_EQ(interrupted.signal(), SIGTERM);
  }
}

TEST_F(TransferEngineTest, AServerThatClosesEveryConnectionGetsFewNewOnesAtOnce) {
  // A burst of new connections overflows a small accept queue, and each one
  // dropped costs a second of retransmission.
  const struct {
    std::string name;
    int close_every;  ///< 0: never
    int least;
    int most;
  } cases[] = {
      {"kept alive: as many as the transfers", 0, 5, 8},
      {"closed now and then: as many as the transfers", 4, 5, 8},
      {"closed after each answer: a few at once", 1, 2, 4},
  };
  for (const auto& test : cases) {
    MavenServer origin;
    origin.add_file("f", "f");
    origin.set_latency(20);
    origin.close_connections(test.close_every);
    const auto engine = open_transfer_engine({}, parallel(8));
    int answers = 0;
    for (int i = 0; i < 40; ++i) {
      engine->start(
          origin.repo_url() + "/f", seconds(5), [](std::string_view) {},
          [&answers](std::exception_ptr) { ++answers; });
    }
    engine->run_until([&answers] { return answers == 40; });
    // Past the first round, which starts before any answer tells how the server behaves.
    const auto at_once = origin.requests_at_once();
    const int most = *std::max_element(at_once.begin() + 8, at_once.end());
    EXPECT_GE(most, test.least) << test.name;
    EXPECT_LE(most, test.most) << test.name;
  }
}

TEST(MultiplexedTransferTest, OneHttp2ConnectionCarriesTheStreamsTheSettingAllows) {
  if (!testing::NghttpdServer::available()) GTEST_SKIP() << "nghttpd is not installed";
  const testing::TlsCertificate certificate;
  const testing::TempDir docroot;
  constexpr int kFiles = 40;
  for (int i = 0; i < kFiles; ++i) {
    testing::write_file(docroot / ("f" + std::to_string(i)), std::string(1 << 20, 'x'));
  }
  const struct {
    std::size_t max_streams;
    int least;
    int most;
  } cases[] = {{64, 9, kFiles}, {8, 1, 8}};
  for (const auto& test : cases) {
    testing::NghttpdServer server(docroot.path(), certificate);
    TransferOptions options = parallel(8);
    options.max_streams = test.max_streams;
    options.ca_file = certificate.certificate();
    const auto engine = open_transfer_engine({}, options);
    int answers = 0;
    for (int i = 0; i < kFiles; ++i) {
      engine->start(
          server.url() + "/f" + std::to_string(i), seconds(5), [](std::string_view) {},
          [&answers](std::exception_ptr error) { answers += error ? 1000 : 1; });
    }
    engine->run_until([&answers] { return answers >= kFiles; });
    server.stop();
    EXPECT_EQ(answers, kFiles) << test.max_streams;
    EXPECT_EQ(server.connections(), 1) << test.max_streams;
    EXPECT_GE(server.most_streams_at_once(), test.least) << test.max_streams;
    EXPECT_LE(server.most_streams_at_once(), test.most) << test.max_streams;
  }
}

TEST(MultiplexedTransferTest, AWaitedTransferStartsPastAFullWindow) {
  if (!testing::NghttpdServer::available()) GTEST_SKIP() << "nghttpd is not installed";
  const testing::TlsCertificate certificate;
  const testing::TempDir docroot;
  testing::write_file(docroot / "first", "x");
  testing::write_file(docroot / "long", std::string(64 << 20, 'x'));
  testing::write_file(docroot / "small", "x");
  testing::NghttpdServer server(docroot.path(), certificate);
  TransferOptions options = parallel(2);
  options.max_streams = 2;
  options.ca_file = certificate.certificate();
  const auto engine = open_transfer_engine({}, options);
  std::vector<std::string> ended;
  const auto fetch = [&](const std::string& name) {
    return engine->start(
        server.url() + "/" + name, seconds(5), [](std::string_view) {},
        [&ended, name](std::exception_ptr) { ended.push_back(name); });
  };
  fetch("first");  // tells that the server multiplexes
  engine->run_until([&ended] { return !ended.empty(); });
  fetch("long");
  fetch("long");
  engine->run_until([&engine] { return engine->in_flight() == 2; });  // the window is full
  engine->prioritize(fetch("small"));
  engine->run_until([&ended] { return ended.size() == 4; });
  EXPECT_EQ(ended[1], "small");
}

/// The error a lone GET of url ends with ("" for none), and the bytes its sink got.
std::pair<std::string, std::size_t> get(TransferEngine& engine, const std::string& url) {
  std::size_t received = 0;
  std::string message = "not ended";
  engine.start(
      url, seconds(5), [&received](std::string_view piece) { received += piece.size(); },
      [&message](std::exception_ptr error) {
        message.clear();
        try {
          if (error) std::rethrow_exception(error);
        } catch (const std::exception& failure) {
          message = failure.what();
        }
      });
  engine.run_until([&message] { return message != "not ended"; });
  return {message, received};
}

/// A server on 127.0.0.1 that answers one request with response, sent in one write.
class OneAnswerServer {
 public:
  explicit OneAnswerServer(std::string response) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    auto* generic = reinterpret_cast<sockaddr*>(&address);
    if (::bind(listener_, generic, length) != 0 || ::listen(listener_, 1) != 0 ||
        ::getsockname(listener_, generic, &length) != 0) {
      throw std::runtime_error("cannot listen on a loopback port");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, response = std::move(response)] {
      const int client = ::accept(listener_, nullptr, nullptr);
      std::string request(4096, '\0');
      ::recv(client, request.data(), request.size(), 0);  // a GET fits one read
      ::send(client, response.data(), response.size(), MSG_NOSIGNAL);
      ::close(client);
    });
  }
  ~OneAnswerServer() {
    thread_.join();
    ::close(listener_);
  }
  OneAnswerServer(const OneAnswerServer&) = delete;
  OneAnswerServer& operator=(const OneAnswerServer&) = delete;
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/longer"; }

 private:
  int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int port_ = 0;
  std::thread thread_;
};

TEST_F(TransferEngineTest, ABodyOverTheLimitOrLongerThanAnnouncedFails) {
  for (const char* name : {"fits", "announced", "chunked"}) {
    server.add_file(name, std::string(name == std::string("fits") ? 1000 : 2000, 'x'));
  }
  server.send_chunked("/maven2/chunked");
  const OneAnswerServer longer("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" +
                               std::string(2000, 'x'));
  const struct {
    std::string name;
    std::string message;
    std::optional<std::size_t> received;  ///< none where it depends on the pieces
  } cases[] = {
      {"fits", "", 1000},
      {"announced", "refused: 2000 bytes announced, over the limit of 1000", 0},
      {"chunked", "cut off: longer than the limit of 1000", std::nullopt},
      {"longer", "the body is longer than the 100 bytes announced", std::nullopt},
  };
  TransferOptions options;
  options.max_body_bytes = 1000;
  const auto engine = open_transfer_engine({}, options);
  for (const auto& test : cases) {
    const std::string url =
        test.name == "longer" ? longer.url() : server.repo_url() + "/" + test.name;
    const auto [message, received] = get(*engine, url);
    EXPECT_EQ(message, test.message) << test.name;
    if (test.received) {
      EXPECT_EQ(received, *test.received) << test.name;
    }
  }
}

TEST_F(TransferEngineTest, TlsTrustsTheGivenAuthoritiesAndNeverStepsDownToHttp) {
  const testing::TlsCertificate certificate;
  MavenServer secure(certificate);
  secure.add_file("a", "secret");
  secure.redirect("/maven2/down", server.repo_url() + "/a");
  secure.redirect("/maven2/across", "/maven2/a");
  const struct {
    std::string name;
    std::filesystem::path ca_file;
    std::string path;
    std::string message;
  } cases[] = {
      {"the built-in bundle does not know it", "", "/a", "SSL certificate problem"},
      {"trusted through the given file", certificate.certificate(), "/a", ""},
      {"https to https", certificate.certificate(), "/across", ""},
      {"https to http", certificate.certificate(), "/down",
       "refused a redirect from https to plain http"},
  };
  for (const auto& test : cases) {
    TransferOptions options;
    options.ca_file = test.ca_file;
    const auto engine = open_transfer_engine({}, options);
    const auto [message, received] = get(*engine, secure.repo_url() + test.path);
    EXPECT_EQ(message.substr(0, test.message.size()), test.message) << test.name;
    EXPECT_EQ(received, test.message.empty() ? 6u : 0u) << test.name;
  }
  EXPECT_EQ(server.requests("/maven2/a"), 0);
}

}  // namespace
}  // namespace zarn::net
