#include "task/provell/provell_task.h"

#include "host/host.h"
#include "net/transfer_engine.h"
#include "task/provell/catalogue.h"
#include "task/provell/sync_cache.h"

namespace zarn::provell {
namespace {

std::string given_or(const std::optional<std::string>& given, auto fallback) {
  if (given && !given->empty()) return *given;
  return fallback();
}

}  // namespace

ProvellTask::ProvellTask(host::Host& host, std::optional<std::string> project_dir_arg,
                         std::optional<std::string> profiles_dir_arg,
                         std::optional<std::string> profile_name_arg)
    : project_dir(
          given_or(project_dir_arg, [] { return std::filesystem::current_path().string(); })),
      profiles_dir(given_or(profiles_dir_arg,
                            [&host] { return get_zarn_dir(host.environment()).string(); })),
      profile_name(std::move(profile_name_arg)),
      compute_registry(host.compute_registry(project_dir)),
      host_(host) {}

ProvellTask::~ProvellTask() = default;

}  // namespace zarn::provell
