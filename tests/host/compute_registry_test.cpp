#include "host/compute_registry.h"

#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "yaml/dump.h"
#include "yaml/load.h"

namespace zarn::host {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

constexpr const char* kComputes = R"(# hand-written
spark-local:
  type: spark
  config:
    spark.jars: /old/a.jar,/old/b.jar
    spark.jars.packages: org.x:y:1
    spark.driver.memory: 2g
remote:
  type: databricks
  config: {host: example}
bare: {type: spark}
odd_config: {config: [a, b]}
not_an_entry: text
)";

TEST(ComputeRegistry, MissingOrEmptyFilesAreEmptyRegistries) {
  for (const char* text : {static_cast<const char*>(nullptr), "", "# nothing yet\n", "~\n"}) {
    TempDir dir;
    if (text) testing::write_file(dir / "project/.zarn/computes.yml", text);
    FileComputeRegistry registry((dir / "project").string());
    EXPECT_FALSE(registry.get("spark-local").has_value());
    // Saving creates the folder when needed.
    registry._save();
    EXPECT_EQ(testing::read_file(dir / "project/.zarn/computes.yml"),
              "# ZARN Compute Configuration\n\n" + yaml::dump(yaml::Node::mapping()));
  }
}

TEST(ComputeRegistry, GivesMappingEntriesOnly) {
  TempDir dir;
  testing::write_file(dir / ".zarn/computes.yml", kComputes);
  FileComputeRegistry registry(dir.path().string());
  ASSERT_TRUE(registry.get("spark-local").has_value());
  EXPECT_EQ(registry.get("spark-local")->config().size(), 3u);
  EXPECT_FALSE(registry.get("not_an_entry").has_value());
  EXPECT_FALSE(registry.get("absent").has_value());
  // Entries without a usable config read as empty, and reading adds nothing.
  for (const char* name : {"bare", "odd_config"}) {
    yaml::Node config = registry.get(name)->config();
    EXPECT_TRUE(config.is_mapping());
    EXPECT_EQ(config.size(), 0u);
    config.set("added", yaml::Node::string("x"));
  }
  registry._save();
  const yaml::Node saved = yaml::load(testing::read_file(registry.path()));
  EXPECT_FALSE(saved.find("bare")->contains("config"));
  EXPECT_TRUE(saved.find("odd_config")->find("config")->is_sequence());
}

TEST(ComputeRegistry, SavesRemovalsAndKeepsEverythingElse) {
  TempDir dir;
  testing::write_file(dir / ".zarn/computes.yml", kComputes);
  ::chmod((dir / ".zarn/computes.yml").c_str(), 0600);
  FileComputeRegistry registry(dir.path().string());
  yaml::Node config = registry.get("spark-local")->config();
  EXPECT_TRUE(config.erase("spark.jars"));
  EXPECT_TRUE(config.erase("spark.jars.packages"));
  registry._save();

  const std::string text = testing::read_file(registry.path());
  EXPECT_TRUE(text.starts_with("# ZARN Compute Configuration\n\n")) << text;
  EXPECT_EQ(text.find("# hand-written"), std::string::npos);
  yaml::Node expected = yaml::load(kComputes);
  expected.find("spark-local")->find("config")->erase("spark.jars");
  expected.find("spark-local")->find("config")->erase("spark.jars.packages");
  EXPECT_EQ(yaml::load(text), expected);
  EXPECT_EQ(fs::status(registry.path()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  // Saving again reads back the same and keeps a single header.
  FileComputeRegistry(dir.path().string())._save();
  EXPECT_EQ(testing::read_file(registry.path()), text);
}

// Two syncs of one project: each removes what it removes, and a change the
// other made between this one's load and its save is not lost.
TEST(ComputeRegistry, SaveKeepsWhatAnotherProcessChangedMeanwhile) {
  struct Case {
    const char* name;
    const char* theirs;  ///< the file as the other writer left it; null: unchanged
    const char* expected;
  };
  const Case cases[] = {
      {"unchanged", nullptr,
       "spark-local:\n  config: {spark.driver.memory: 2g}\nremote: {type: databricks}\n"},
      {"entry added, other key changed",
       "spark-local:\n  config: {spark.jars: a.jar, spark.driver.memory: 4g}\n"
       "remote: {type: databricks}\nnew: {type: spark}\n",
       "spark-local:\n  config: {spark.driver.memory: 4g}\nremote: {type: databricks}\n"
       "new: {type: spark}\n"},
      {"entry removed, same key removed", "spark-local:\n  config: {spark.driver.memory: 2g}\n",
       "spark-local:\n  config: {spark.driver.memory: 2g}\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path file = dir / ".zarn/computes.yml";
    testing::write_file(file,
                        "spark-local:\n  config: {spark.jars: a.jar, spark.driver.memory: 2g}\n"
                        "remote: {type: databricks}\n");
    FileComputeRegistry registry(dir.path().string());
    registry.get("spark-local")->config().erase("spark.jars");
    if (c.theirs) testing::write_file(file, c.theirs);
    registry._save();
    registry._save();  // a second save keeps their change too
    EXPECT_EQ(yaml::load(testing::read_file(file)), yaml::load(c.expected)) << c.name;
  }
}

TEST(ComputeRegistry, RejectsFilesItCannotUseNamingThem) {
  struct Case {
    const char* text;
    std::string after_path;
  };
  const Case cases[] = {
      {"- spark-local\n", ": expected a mapping from compute name to settings at the top level"},
      {"spark-local\n", ": expected a mapping from compute name to settings at the top level"},
      {"spark-local: [\n", ":"},  // the parser adds line, column and problem
  };
  for (const Case& c : cases) {
    TempDir dir;
    const fs::path path = dir / ".zarn/computes.yml";
    testing::write_file(path, c.text);
    try {
      FileComputeRegistry registry(dir.path().string());
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const std::runtime_error& error) {
      const std::string message = error.what();
      EXPECT_TRUE(message.starts_with(path.string() + c.after_path)) << message;
      EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
  }
}

}  // namespace
}  // namespace zarn::host
