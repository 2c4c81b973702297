// CPU time of a driver sync whose descriptor lists many dependencies: the
// resolution, the transfers and the archives written, cold and then warm,
// against the loopback repository maven_bench_server run as a child process
// (its own CPU time is not counted).
// Usage: wide_tree_bench [dependencies=10000] [jobs=8] [work-folder]; the
// repository written in work-folder is kept for the next run.

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

#include "host/executable_host.h"
#include "net/sha1.h"
#include "task/provell/provell_task.h"

namespace {

namespace fs = std::filesystem;

void write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

/// hive-jdbc listing count dependencies g:d{i}:1, each with a small archive
/// and its checksum file and no descriptor of its own.
void build_repository(const fs::path& root, int count) {
  std::string pom =
      "<project xmlns=\"http://maven.apache.org/POM/4.0.0\">\n"
      "  <modelVersion>4.0.0</modelVersion>\n  <dependencies>\n";
  const std::string archive = std::string("PK\x03\x04", 4) + std::string(1000, 'x');
  zarn::net::Sha1 sha1;
  sha1.update(archive);
  const std::string sum = sha1.hex_digest();
  for (int i = 0; i < count; ++i) {
    const std::string name = "d" + std::to_string(i);
    pom += "    <dependency><groupId>g</groupId><artifactId>" + name +
           "</artifactId><version>1</version></dependency>\n";
    const fs::path folder = root / "g" / name / "1";
    write(folder / (name + "-1.jar"), archive);
    write(folder / (name + "-1.jar.sha1"), sum);
  }
  pom += "  </dependencies>\n</project>\n";
  const fs::path hive = root / "org/apache/hive/hive-jdbc/3.1.3";
  write(hive / "hive-jdbc-3.1.3.pom", pom);
  write(hive / "hive-jdbc-3.1.3.jar", archive);
  write(hive / "hive-jdbc-3.1.3.jar.sha1", sum);
}

/// The loopback repository in a child process; stopped when destroyed.
class Server {
 public:
  Server(const fs::path& root, const fs::path& work) {
    std::string port_file = (work / "port").string();
    fs::remove(port_file);
    const std::string log = (work / "requests.log").string();
    std::string binary = MAVEN_BENCH_SERVER;
    std::string folder = root.string();
    std::string log_file = log;
    char* argv[] = {binary.data(), folder.data(), port_file.data(), log_file.data(), nullptr};
    if (posix_spawn(&pid_, binary.c_str(), nullptr, nullptr, argv, environ) != 0) {
      throw std::runtime_error("cannot start " + binary);
    }
    while (port_ == 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      std::ifstream(port_file) >> port_;
    }
  }
  ~Server() {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/maven2"; }

 private:
  pid_t pid_ = 0;
  int port_ = 0;
};

double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  const std::size_t jobs = argc > 2 ? static_cast<std::size_t>(std::atoi(argv[2])) : 8;
  const fs::path work =
      argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "wide_tree_bench";
  // The repository is kept between runs of one size: writing it takes longer than the sync.
  const fs::path built = work / ("repo-" + std::to_string(count));
  if (!fs::exists(built)) {
    fs::remove_all(work);
    build_repository(work / "repo", count);
    write(built, "");
  }
  fs::remove_all(work / "project");
  const Server server(work / "repo", work);
  ::setenv("no_proxy", "127.0.0.1", 1);

  std::ostringstream out;
  std::ostringstream err;
  zarn::host::ExecutableHost context(
      zarn::terminal::Printer(out, err, {}),
      zarn::os::Environment(std::map<std::string, std::string>{{"HOME", (work / "home").string()},
                                                               {"ZARN_MAVEN_REPO", server.url()}}));
  // Without the driver cache first, the resolution and transfers alone; then
  // a cold sync of another project that also fills the cache.
  for (const char* round : {"cold", "warm", "cold, filling the driver cache"}) {
    const bool cached = std::string_view(round).ends_with("cache");
    zarn::provell::TransferSettings settings;
    settings.jobs = jobs;
    if (!cached) settings.cache = zarn::provell::CacheUse::kOff;
    zarn::provell::ProvellTask task(context, (work / (cached ? "other" : "project")).string(),
                                    (work / "profiles").string(), std::nullopt, settings);
    const double cpu_start = cpu_seconds();
    const auto wall_start = std::chrono::steady_clock::now();
    const auto [downloaded, failed] = task.download_jdbc_jars({"hive"}, true);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    std::printf(
        "%s, %d dependencies, --jobs %zu: %.2f s CPU, %.2f s wall, %zu stored, %zu failed\n", round,
        count, jobs, cpu_seconds() - cpu_start, wall, downloaded.size(), failed.size());
    // The first failure, which a figure with failures needs.
    const std::string report = out.str();
    if (const auto at = report.find("✗"); at != std::string::npos) {
      std::printf("  first failure: %s\n", report.substr(at, report.find('\n', at) - at).c_str());
    }
    out.str("");
  }
  fs::remove_all(work / "project");
}
