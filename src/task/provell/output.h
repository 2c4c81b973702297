#pragma once

#include <string_view>

#include "host/host.h"

namespace zarn::provell {

/// Where an operation of the sync task writes its lines: the host's output,
/// quiet or verbose for the length of one call.
class Output {
 public:
  explicit Output(host::Host& host, bool verbose = true) : host_(host), verbose_(verbose) {}

  /// A progress or report line, shown only when verbose.
  void line(std::string_view text) const {
    if (verbose_) host_.echo(text);
  }
  /// A line shown quiet or not: the warnings of steps that end the run.
  void always(std::string_view text) const { host_.echo(text); }
  /// A remark apart from the report (standard error), shown only when verbose.
  void notice(std::string_view text) const {
    if (verbose_) host_.notice(text);
  }
  bool verbose() const { return verbose_; }
  host::Host& host() const { return host_; }

 private:
  host::Host& host_;
  bool verbose_;
};

}  // namespace zarn::provell
