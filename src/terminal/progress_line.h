#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "os/environment.h"

namespace zarn::terminal {

/// One transient status line on a terminal, redrawn in place ("\r", then
/// erase to the end of the line). It draws only when the descriptor is a
/// terminal and TERM is not "dumb"; elsewhere every call does nothing.
class ProgressLine {
 public:
  /// Draws on fd only when active (a terminal that can redraw a line).
  ProgressLine(int fd, bool active);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  /// Shows status in place of the previous one, at most ten times a second
  /// (a newer status waits for the next call); an empty status erases.
  void show(std::string_view status);
  /// Erases the line if it is drawn, so another line can be printed.
  void erase();

 private:
  void write(std::string_view bytes) const;

  int fd_;
  bool active_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace zarn::terminal
