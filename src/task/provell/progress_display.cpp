#include "task/provell/progress_display.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>

namespace zarn::provell {
namespace {

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;

}  // namespace

void ProgressDisplay::draw() {
  const double megabytes =
      static_cast<double>(engine_.bytes_received() - start_bytes_) / kBytesPerMegabyte;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string status = fmt::format("  {} descriptors", descriptors ? *descriptors : 0);
  if (archives != nullptr) {
    const auto wanted = std::count_if(archives->begin(), archives->end(), [](const Archive& a) {
      return a.download && a.download->started;
    });
    const auto done = std::count_if(archives->begin(), archives->end(), [](const Archive& a) {
      return a.download && a.download->body_ended;
    });
    status += fmt::format(", {}/{} archives", done, wanted);
  }
  status += fmt::format(", {} in flight, {:.1f} MB at {:.1f} MB/s", engine_.in_flight(), megabytes,
                        seconds > 0 ? megabytes / seconds : 0.0);
  host_.show_progress(status);
}

}  // namespace zarn::provell
