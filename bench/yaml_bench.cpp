// Load and dump of a profiles-like YAML document with 20,000 targets (~5 MB).
// Prints the median of several runs of each.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "yaml/dump.h"
#include "yaml/load.h"

namespace {

using zarn::yaml::Node;

Node target(int i) {
  const std::string n = std::to_string(i);
  return Node::mapping({
      {Node::string("type"), Node::string(i % 3 ? "postgres" : "snowflake")},
      {Node::string("host"), Node::string("db-" + n + ".example.internal")},
      {Node::string("port"), Node::integer(5432 + i % 7)},
      {Node::string("user"), Node::string("svc_reporting_" + n)},
      {Node::string("schema"), Node::string("dbt_" + n)},
      {Node::string("search_path"),
       Node::sequence({Node::string("public"), Node::string("staging")})},
      {Node::string("enabled"), Node::boolean(i % 2 == 0)},
      {Node::string("sample_ratio"), Node::floating(0.25 * (i % 4))},
      {Node::string("comment"),
       Node::string(i % 5 ? "" : "managed by the platform team: do not edit")},
  });
}

Node document(int targets) {
  Node outputs = Node::mapping();
  for (int i = 0; i < targets; ++i) outputs.set("target_" + std::to_string(i), target(i));
  Node profile = Node::mapping(
      {{Node::string("target"), Node::string("target_0")}, {Node::string("outputs"), outputs}});
  return Node::mapping(
      {{Node::string("config"),
        Node::mapping({{Node::string("send_anonymous_usage_stats"), Node::boolean(false)}})},
       {Node::string("warehouse"), profile}});
}

struct Timing {
  double wall_ms;
  double cpu_ms;  // steadier than wall time on a busy machine
};

template <class F>
Timing median(int runs, F&& run) {
  std::vector<double> wall;
  std::vector<double> cpu;
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpu_start = std::clock();
    run();
    cpu.push_back(1000.0 * static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC);
    wall.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  std::sort(wall.begin(), wall.end());
  std::sort(cpu.begin(), cpu.end());
  return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

}  // namespace

int main() {
  constexpr int kTargets = 20000;
  constexpr int kRuns = 7;
  const Node doc = document(kTargets);
  const std::string text = zarn::yaml::dump(doc);
  if (!(zarn::yaml::load(text) == doc)) {
    std::fprintf(stderr, "yaml_bench: the document does not read back equal\n");
    return 1;
  }
  std::size_t sink = 0;
  // Loading includes freeing the result, as a caller would.
  const Timing load = median(kRuns, [&] { sink += zarn::yaml::load(text, "bench.yml").size(); });
  const Timing dump = median(kRuns, [&] { sink += zarn::yaml::dump(doc).size(); });
  std::printf("document: %d targets, %.2f MB\n", kTargets, static_cast<double>(text.size()) / 1e6);
  std::printf("load: %.1f ms wall, %.1f ms cpu (medians of %d)\n", load.wall_ms, load.cpu_ms,
              kRuns);
  std::printf("dump: %.1f ms wall, %.1f ms cpu (medians of %d)\n", dump.wall_ms, dump.cpu_ms,
              kRuns);
  return sink == 0;
}
