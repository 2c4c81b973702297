#include "python/python_host.h"

#include <csignal>

#include "os/interrupt.h"
#include "os/local_clock.h"
#include "python/values.h"

namespace zarn::python {
namespace {

/// Prints line with the host's print() to file (sys.stdout when none). A
/// failing output does not stop the work: its first failure is what a
/// call that did its work ends with. Lines are UTF-8, a file name's stray
/// bytes shown as replacement characters.
void print_line(std::string_view line, const char* file = nullptr) {
  py::gil_scoped_acquire lock;
  throw_if_aborted();
  try {
    const py::object text = py::reinterpret_steal<py::object>(
        PyUnicode_DecodeUTF8(line.data(), static_cast<Py_ssize_t>(line.size()), "replace"));
    const py::object print = py::module_::import("builtins").attr("print");
    if (file == nullptr) {
      print(text);
    } else {
      print(text, py::arg("file") = py::module_::import("sys").attr(file));
    }
  } catch (py::error_already_set& error) {
    if (!error.matches(PyExc_Exception)) throw_into_core(std::move(error));
    auto& kept = call_state().output_error;
    if (!kept) kept.emplace(std::move(error));
  }
}

/// Drops a reference to a host object, holding the GIL as Python requires.
/// pybind11 throws here only when the interpreter cannot give the GIL (it is
/// shutting down); the reference is then leaked, not the process ended from
/// a destructor.
void drop_reference(py::object& object) noexcept {
  try {
    const py::gil_scoped_acquire lock;
    object = py::object();
  } catch (...) {
    object.release();
  }
}

/// The settings mapping of a host compute entry.
class PythonConfig : public host::ComputeConfig {
 public:
  explicit PythonConfig(py::object config) : config_(std::move(config)) {}
  ~PythonConfig() override { drop_reference(config_); }
  bool contains(const std::string& key) override {
    return with_python([&] { return config_.contains(key); });
  }
  void erase(const std::string& key) override {
    with_python([&] { config_.attr("__delitem__")(key); });
  }

 private:
  py::object config_;
};

}  // namespace

PythonError::PythonError(py::error_already_set error)
    : std::runtime_error(py::str(error.value()).cast<std::string>()), error_(std::move(error)) {}

void PythonError::restore() const {
  error_.restore();
}

void throw_if_aborted() {
  if (call_state().abort) throw os::Interrupted(SIGINT);
}

void throw_into_core(py::error_already_set error) {
  if (error.matches(PyExc_Exception)) throw PythonError(std::move(error));
  auto& abort = call_state().abort;
  if (!abort) abort.emplace(std::move(error));
  throw os::Interrupted(SIGINT);
}

PythonHost::PythonHost(std::function<std::string()> maven_repo)
    : maven_repo_(std::move(maven_repo)) {}

void PythonHost::echo(std::string_view line) {
  print_line(line);
}

os::Environment PythonHost::environment() const {
  return with_python([&] {
    os::Environment environment = environment_snapshot();
    if (maven_repo_) environment.set("ZARN_MAVEN_REPO", maven_repo_());
    return environment;
  });
}

std::tm PythonHost::local_time() const {
  return os::system_local_time();
}

yaml::Node PythonHost::load_yaml_text(const std::string& text, const std::string& /*source*/) {
  return with_python([&] {
    const py::object loader =
        py::module_::import("pelk.clients.yaml_helper").attr("load_yaml_text");
    return from_python(loader(py::str(text)));
  });
}

std::unique_ptr<host::ComputeRegistry> PythonHost::compute_registry(
    const std::string& project_dir) {
  return with_python([&] {
    py::object registry =
        py::module_::import("pelk.config.compute").attr("ComputeRegistry")(path_text(project_dir));
    return std::make_unique<PythonComputeRegistry>(std::move(registry));
  });
}

std::filesystem::path PythonHost::interpreter() {
  return with_python(
      [] { return py::module_::import("sys").attr("executable").cast<std::string>(); });
}

std::set<std::string> PythonHost::find_modules(const std::vector<std::string>& modules) {
  return with_python([&] {
    const py::object find_spec = py::module_::import("importlib.util").attr("find_spec");
    std::set<std::string> found;
    for (const std::string& name : modules) {
      try {
        if (!find_spec(name).is_none()) found.insert(name);
      } catch (py::error_already_set& error) {
        // A missing parent package means the adapter is not installed.
        if (!error.matches(PyExc_ModuleNotFoundError)) throw;
      }
    }
    return found;
  });
}

void PythonHost::notice(std::string_view line) {
  print_line("zarn: " + std::string(line), "stderr");
}

int PythonHost::pending_interrupt() {
  py::gil_scoped_acquire lock;
  auto& abort = call_state().abort;
  if (abort) return SIGINT;
  if (PyErr_CheckSignals() == 0) return 0;
  abort.emplace();  // fetches the error the signal handler raised; kept until the call ends
  return SIGINT;
}

PythonComputeRegistry::~PythonComputeRegistry() {
  drop_reference(registry_);
}

std::unique_ptr<host::ComputeConfig> PythonComputeRegistry::entry_config(const std::string& name) {
  return with_python([&]() -> std::unique_ptr<host::ComputeConfig> {
    const py::object entry = registry_.attr("get")(name);
    if (!py::bool_(entry)) return nullptr;
    return std::make_unique<PythonConfig>(entry.attr("config"));
  });
}

void PythonComputeRegistry::_save() {
  with_python([&] { registry_.attr("_save")(); });
}

os::Environment environment_snapshot() {
  // The host changes the environment (os.environ, os.putenv) only while it
  // holds the GIL, so a walk made holding it never meets a half-grown table.
  const py::gil_scoped_acquire lock;
  return os::Environment::from_process();
}

}  // namespace zarn::python
