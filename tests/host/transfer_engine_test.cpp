#include "host/transfer_engine.h"

#include <gtest/gtest.h>

#include <csignal>

#include "support/maven_server.h"

namespace zarn::host {
namespace {

using std::chrono::seconds;
using testing::MavenServer;

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
    const auto engine = open_transfer_engine({}, {test.max_parallel, {}});
    std::map<std::string, TransferEngine::Id> ids;
    for (const char* name : {"a", "b", "c"}) ids[name] = fetch(*engine, name);
    if (!test.first_priority.empty()) engine->prioritize(ids[test.first_priority]);
    engine->run_until([this] { return ended.size() == 3; });
    EXPECT_EQ(ended, test.order) << test.name;
  }
}

TEST_F(TransferEngineTest, AnInterruptStopsTheWaitAndCancelledTransfersNeverEnd) {
  int signal = 0;
  const auto engine = open_transfer_engine([&signal] { return signal; }, {2, {}});
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

}  // namespace
}  // namespace zarn::host
