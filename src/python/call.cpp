#include "python/call.h"

#include <stdexcept>

namespace zarn::python {

CallState& call_state() {
  // Empty whenever no call runs on the thread, so its end touches no Python object.
  thread_local CallState state;
  return state;
}

void ObjectLock::lock() {
  if (owner_.load() == std::this_thread::get_id()) {
    throw std::runtime_error("the task is already running on this thread");
  }
  mutex_.lock();
  owner_.store(std::this_thread::get_id());
}

void ObjectLock::unlock() {
  owner_.store(std::thread::id());
  mutex_.unlock();
}

CallScope::CallScope() : outer_(std::exchange(call_state(), CallState{})) {}

CallScope::~CallScope() {
  call_state() = std::move(outer_);
}

void CallScope::finish(const std::exception_ptr& failure) {
  CallState& state = call_state();
  if (state.abort) {
    py::error_already_set abort = std::move(*state.abort);
    state = CallState{};
    throw abort;
  }
  if (failure) std::rethrow_exception(failure);
  if (state.output_error) {
    py::error_already_set error = std::move(*state.output_error);
    state = CallState{};
    throw error;
  }
}

}  // namespace zarn::python
