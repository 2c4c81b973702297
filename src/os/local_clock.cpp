#include "os/local_clock.h"

#include <chrono>

namespace zarn::os {

std::tm system_local_time() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  return local;
}

}  // namespace zarn::os
