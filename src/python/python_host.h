#pragma once

#include <pybind11/pybind11.h>

#include <functional>
#include <optional>
#include <string>

#include "host/host.h"
#include "python/call.h"

namespace zarn::python {

namespace py = pybind11;

/// A Python error raised inside a host call, carried through the C++ core.
/// Its message is Python's str() of the error, as a Python caller would
/// insert it into a message; the original error is raised again at the edge.
class PythonError : public std::runtime_error {
 public:
  explicit PythonError(py::error_already_set error);
  /// Makes this the current Python error again.
  void restore() const;
  py::object value() const { return error_.value(); }

 private:
  mutable py::error_already_set error_;
};

/// Throws Interrupted when the running call is to end with a host's
/// BaseException; needs the GIL.
void throw_if_aborted();

/// Throws error into the core: an Exception as PythonError; anything else
/// (KeyboardInterrupt, SystemExit) is kept for the call to end with, and
/// the core sees Interrupted, which every one of its catches lets through.
[[noreturn]] void throw_into_core(py::error_already_set error);

/// Calls fn with the interpreter lock held, turning a Python error into a
/// core error (throw_into_core). Once the call is to end with a host's
/// BaseException, nothing more of the host is called.
template <typename Fn>
auto with_python(Fn&& fn) {
  py::gil_scoped_acquire lock;
  throw_if_aborted();
  try {
    return fn();
  } catch (py::error_already_set& error) {
    throw_into_core(std::move(error));
  } catch (const py::builtin_exception& error) {
    error.set_error();
    throw_into_core(py::error_already_set());
  }
}

/// The Python program that imported the plug-in, as the tasks' host. Every
/// host piece is taken from the host's own modules when it is needed, so
/// nothing of the host is imported with the plug-in. The tasks run with the
/// interpreter lock released; each method here takes it back.
class PythonHost : public host::Host {
 public:
  /// maven_repo, when given, is read at each use: the repository the
  /// provell module names in its MAVEN_REPO.
  explicit PythonHost(std::function<std::string()> maven_repo = {});

  void echo(std::string_view line) override;
  os::Environment environment() const override;
  std::tm local_time() const override;
  yaml::Node load_yaml_text(const std::string& text, const std::string& source) override;
  std::unique_ptr<host::ComputeRegistry> compute_registry(const std::string& project_dir) override;
  std::filesystem::path interpreter() override;
  std::set<std::string> find_modules(const std::vector<std::string>& modules) override;
  int pending_interrupt() override;
  /// Writes "zarn: {line}" to the host's sys.stderr.
  void notice(std::string_view line) override;

 private:
  std::function<std::string()> maven_repo_;
};

/// The host's compute registry object, behind the tasks' interface.
class PythonComputeRegistry : public host::ComputeRegistry {
 public:
  explicit PythonComputeRegistry(py::object registry) : registry_(std::move(registry)) {}
  ~PythonComputeRegistry() override;
  std::unique_ptr<host::ComputeConfig> entry_config(const std::string& name) override;
  void _save() override;
  /// The host's own object, for the task's compute_registry attribute.
  const py::object& object() const { return registry_; }

 private:
  py::object registry_;
};

/// The process environment as it is now, read holding the GIL.
os::Environment environment_snapshot();

}  // namespace zarn::python
