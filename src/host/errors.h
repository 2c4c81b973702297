#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace zarn::host {

/// The host's runtime error: a message and, optionally, the error that caused it.
class PelkRuntimeError : public std::runtime_error {
 public:
  explicit PelkRuntimeError(const std::string& message, std::exception_ptr cause = nullptr)
      : std::runtime_error(message), cause_(std::move(cause)) {}
  std::exception_ptr cause() const { return cause_; }

 private:
  std::exception_ptr cause_;
};

}  // namespace zarn::host
