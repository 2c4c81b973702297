// Times the installed-adapter lookup against a bare start of the same
// interpreter, to show the lookup costs one interpreter start and not one per
// adapter module. Usage: installed_adapters_bench [runs]; the interpreter is
// chosen as zarn chooses it (ZARN_PYTHON, VIRTUAL_ENV, python3 on PATH).

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <vector>

#include "host/executable_host.h"
#include "host/interpreter.h"
#include "os/process.h"
#include "task/provell/provell_task.h"

namespace {

double elapsed_ms(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double median(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  std::ostringstream sink;
  zarn::host::ExecutableHost context{zarn::terminal::Printer(sink),
                                     zarn::os::Environment::from_process()};
  const std::string python = zarn::host::find_interpreter(context.environment()).string();
  std::string scratch = (std::filesystem::temp_directory_path() / "zarn-bench-XXXXXX").string();
  if (::mkdtemp(scratch.data()) == nullptr) return 1;
  zarn::provell::ProvellTask task(context, scratch, scratch);

  // Alternating the two keeps a change in machine load from favouring either.
  std::size_t found = 0;
  std::vector<double> bare_times;
  std::vector<double> lookup_times;
  for (int i = 0; i < runs; ++i) {
    bare_times.push_back(elapsed_ms([&] { zarn::os::run_process({python, "-c", "pass"}); }));
    lookup_times.push_back(elapsed_ms([&] { found = task.get_installed_adapters().size(); }));
  }
  const double bare = median(bare_times);
  const double lookup = median(lookup_times);
  std::printf("interpreter: %s (%zu adapter types installed)\n", python.c_str(), found);
  std::printf("median of %d runs: python -c pass %.1f ms, get_installed_adapters %.1f ms\n", runs,
              bare, lookup);
  std::printf("ratio: %.2f\n", lookup / bare);
  std::filesystem::remove_all(scratch);
}
