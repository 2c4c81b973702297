#include "python/python_host.h"

#include <csignal>

#include "python/values.h"

namespace zarn::python {
namespace {

/// The KeyboardInterrupt (or the error a signal handler raised) that stopped
/// a task; signals are process-wide, and so is this. Never destroyed: the
/// interpreter may be gone by the time static objects are.
std::optional<py::error_already_set>& interrupt_error = *new std::optional<py::error_already_set>;

/// The settings mapping of a host compute entry.
class PythonConfig : public host::ComputeConfig {
 public:
  explicit PythonConfig(py::object config) : config_(std::move(config)) {}
  ~PythonConfig() override {
    py::gil_scoped_acquire lock;
    config_ = py::object();
  }
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

PythonHost::PythonHost(std::function<std::string()> maven_repo)
    : maven_repo_(std::move(maven_repo)) {}

void PythonHost::echo(std::string_view line) {
  with_python(
      [&] { py::module_::import("builtins").attr("print")(py::str(line.data(), line.size())); });
}

host::Environment PythonHost::environment() const {
  host::Environment environment = host::Environment::from_process();
  if (maven_repo_) environment.set("ZARN_MAVEN_REPO", with_python(maven_repo_));
  return environment;
}

std::tm PythonHost::local_time() const {
  return host::system_local_time();
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
        py::module_::import("pelk.config.compute").attr("ComputeRegistry")(project_dir);
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
  with_python([&] {
    const py::object print = py::module_::import("builtins").attr("print");
    print("zarn: " + std::string(line),
          py::arg("file") = py::module_::import("sys").attr("stderr"));
  });
}

int PythonHost::pending_interrupt() {
  py::gil_scoped_acquire lock;
  if (interrupt_error) return SIGINT;
  if (PyErr_CheckSignals() == 0) return 0;
  interrupt_error.emplace();  // fetches the error the signal handler raised
  return SIGINT;
}

PythonComputeRegistry::~PythonComputeRegistry() {
  py::gil_scoped_acquire lock;
  registry_ = py::object();
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

std::optional<py::error_already_set> take_interrupt_error() {
  return std::exchange(interrupt_error, std::nullopt);
}

}  // namespace zarn::python
