// An interrupt ends every operation that sees it with os::Interrupted,
// never with a partial result.

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include "os/interrupt.h"
#include "support/fake_host.h"
#include "support/fake_transfer_engine.h"
#include "support/file_tree.h"
#include "support/temp_dir.h"
#include "task/provell/provell_task.h"

namespace zarn::provell {
namespace {

TEST(Interrupts, EndTheOperationThatSeesThem) {
  struct Case {
    const char* name;
    int polls_before;  ///< the signal comes after this many polls
    std::function<void(ProvellTask&)> run;
  };
  const Case cases[] = {
      // The installer could not start; the signal came before the loop ended.
      {"install, after its last package", 1,
       [](ProvellTask& task) { task.install_adapters({"postgres"}); }},
      {"uninstall, between packages", 1,
       [](ProvellTask& task) {
         task.uninstall_adapters({"mysql", "postgres"});
       }},
      {"driver download, waiting for a descriptor", 0,
       [](ProvellTask& task) { task.download_jdbc_jars({"hive"}); }},
      {"sync, in its download", 0, [](ProvellTask& task) { task.sync(false); }},
  };
  for (const Case& c : cases) {
    testing::TempDir dir;
    testing::write_file(dir / "profiles" / "profiles.yml",
                        "shop:\n  outputs:\n    lake: {type: hive}\n");
    testing::FakeHost host(dir / "home", {{"ZARN_MAVEN_REPO", "https://repo.test"}});
    host.interrupt = SIGINT;
    host.polls_before_interrupt = c.polls_before;
    testing::FakeRepository repository;
    TransferSettings settings;
    settings.cache = CacheUse::kOff;
    settings.open_engine = repository.opener();
    ProvellTask task(host, (dir / "project").string(), (dir / "profiles").string(), std::nullopt,
                     settings);
    EXPECT_THROW(c.run(task), os::Interrupted) << c.name;
  }
}

}  // namespace
}  // namespace zarn::provell
