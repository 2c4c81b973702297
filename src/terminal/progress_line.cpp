#include "terminal/progress_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace zarn::terminal {
namespace {

constexpr std::string_view kEraseLine = "\r\x1b[K";
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

/// The terminal's width in columns; 80 when it does not say.
std::size_t columns(int fd) {
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

/// status cut to fit in width - 1 columns, so the terminal never wraps it
/// (a wrapped line cannot be redrawn with "\r"). UTF-8 aware.
std::string fit(std::string_view status, std::size_t width) {
  std::string result;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < status.size(); ++i) {
    const auto byte = static_cast<unsigned char>(status[i]);
    const bool starts_character = (byte & 0xC0) != 0x80;
    if (starts_character && ++shown >= width) break;
    if (byte < 0x20 || byte == 0x7F) continue;  // a control byte would move the cursor
    result += status[i];
  }
  return result;
}

}  // namespace

ProgressLine::ProgressLine(int fd, bool active) : fd_(fd), active_(active) {}

ProgressLine::~ProgressLine() {
  erase();
}

void ProgressLine::show(std::string_view status) {
  if (!active_) return;
  if (status.empty()) {
    erase();
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (now - last_draw_ < kRedrawPeriod) return;
  last_draw_ = now;
  std::string line = fit(status, columns(fd_));
  line.insert(line.begin(), '\r');
  line.append(kEraseLine.substr(1));
  write(line);
  drawn_ = true;
}

void ProgressLine::erase() {
  if (!drawn_) return;
  write(kEraseLine);
  drawn_ = false;
}

void ProgressLine::write(std::string_view bytes) const {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // a status line is not worth failing the run for
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace zarn::terminal
