#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <utility>

namespace zarn::python {

namespace py = pybind11;

/// What a call must end with besides its own outcome, kept per thread: a
/// host's BaseException that is not an Exception (KeyboardInterrupt,
/// SystemExit, the error a signal handler raised) seen during the call, and
/// the first failure of the host's output. Touched with the GIL held.
struct CallState {
  std::optional<py::error_already_set> abort;
  std::optional<py::error_already_set> output_error;
};

/// The state of the call running on this thread.
CallState& call_state();

/// One task object's lock: calls on one object run one at a time. A call
/// made on an object from inside a call on it (a host callback) is refused.
class ObjectLock {
 public:
  void lock();
  void unlock();

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

/// Gives the thread a clean call state for one call, and puts the outer
/// call's state back when it ends (a host callback may call a task).
class CallScope {
 public:
  CallScope();
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;
  /// Ends the call: the abort first, whatever else happened, then the
  /// call's own failure, then an output failure of a call that did its work.
  void finish(const std::exception_ptr& failure);

 private:
  CallState outer_;
};

/// Runs a task operation with the GIL released and the object's lock held
/// (taken after the GIL is released, so a waiting thread never holds it),
/// and ends it as CallScope::finish does. A null lock serialises nothing.
template <typename Fn>
auto guarded(ObjectLock* object, Fn&& fn) {
  using Result = std::invoke_result_t<Fn&>;
  CallScope scope;
  std::exception_ptr failure;
  std::conditional_t<std::is_void_v<Result>, bool, std::optional<Result>> result{};
  {
    py::gil_scoped_release release;
    try {
      std::unique_lock<ObjectLock> hold;
      if (object != nullptr) hold = std::unique_lock<ObjectLock>(*object);
      if constexpr (std::is_void_v<Result>) {
        fn();
      } else {
        result.emplace(fn());
      }
    } catch (...) {
      failure = std::current_exception();
    }
  }
  scope.finish(failure);
  if constexpr (!std::is_void_v<Result>) return std::move(*result);
}

}  // namespace zarn::python
