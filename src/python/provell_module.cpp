// The synchronisation task as the plug-in module pelk.task.provell.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "python/python_host.h"
#include "python/values.h"
#include "task/provell/catalogue.h"
#include "task/provell/provell_task.h"

namespace zarn::python {
namespace {

using provell::ProvellTask;

/// The task with the host it runs on, and the profile name as it was given.
struct ProvellTaskObject {
  std::unique_ptr<PythonHost> host;
  std::unique_ptr<ProvellTask> task;
  py::object profile_name;
};

py::dict catalogue_dict(std::span<const provell::CatalogueEntry> catalogue) {
  py::dict dict;
  for (const auto& [type, value] : catalogue) dict[py::str(type)] = py::str(value);
  return dict;
}

/// This module, set when it is initialised; modules are never unloaded.
py::handle this_module;

/// The repository the module's MAVEN_REPO names now (a host may change it).
std::string module_maven_repo() {
  return this_module.attr("MAVEN_REPO").cast<std::string>();
}

ProvellTaskObject make_task(py::object project_dir, py::object profiles_dir,
                            py::object profile_name) {
  ProvellTaskObject object{std::make_unique<PythonHost>(module_maven_repo), nullptr, profile_name};
  std::optional<std::string> profile_text;
  if (!profile_name.is_none()) profile_text = py::str(profile_name).cast<std::string>();
  auto& host = *object.host;
  const auto project = optional_text(project_dir);
  const auto profiles = optional_text(profiles_dir);
  object.task = released(
      [&] { return std::make_unique<ProvellTask>(host, project, profiles, profile_text); });
  return object;
}

py::dict connections_dict(const provell::ConnectionInventory& inventory) {
  py::dict connections;
  for (const provell::Connection& connection : inventory) {
    py::dict record;
    record["type"] = to_python(connection.type);
    record["profile"] = py::str(connection.profile);
    connections[py::str(connection.name)] = record;
  }
  return connections;
}

/// An operation on (adapter_types, verbose): any iterable of types, taken as
/// text, and verbose by its truth value. Pairs of lists come back as 2-tuples.
template <typename Result>
auto on_types(Result (ProvellTask::*operation)(const std::set<std::string>&, bool)) {
  return [operation](ProvellTaskObject& self, py::object adapter_types, py::object verbose) {
    const auto types = text_set(adapter_types);
    const bool chatty = truth(verbose);
    return released([&] { return ((*self.task).*operation)(types, chatty); });
  };
}

/// _resolve_transitive_deps adds to the set it is given and returns that same set.
py::object resolve(ProvellTaskObject& self, const std::string& coord, py::object resolved,
                   int depth) {
  if (resolved.is_none()) resolved = py::set();
  std::set<std::string> known = text_set(resolved);
  released([&] { self.task->_resolve_transitive_deps(coord, known, depth); });
  for (const std::string& item : known) resolved.attr("add")(item);
  return resolved;
}

void bind_task(py::module_& module) {
  using Task = ProvellTaskObject;
  py::class_<Task>(module, "ProvellTask",
                   "Task for synchronizing adapters and JARs based on profiles.yml connections.")
      .def(py::init(&make_task), py::arg("project_dir") = py::none(),
           py::arg("profiles_dir") = py::none(), py::arg("profile_name") = py::none())
      .def_property_readonly("project_dir", [](const Task& self) { return self.task->project_dir; })
      .def_property_readonly("profiles_dir",
                             [](const Task& self) { return self.task->profiles_dir; })
      .def_property_readonly("profile_name", [](const Task& self) { return self.profile_name; })
      .def_property_readonly("compute_registry",
                             [](const Task& self) {
                               const auto& registry = dynamic_cast<const PythonComputeRegistry&>(
                                   *self.task->compute_registry);
                               return registry.object();
                             })
      .def("_get_profile_name",
           [](Task& self) { return released([&] { return self.task->_get_profile_name(); }); })
      .def("_load_profiles",
           [](Task& self) {
             return to_python(released([&] { return self.task->_load_profiles(); }));
           })
      .def("get_connections_info",
           [](Task& self) {
             return connections_dict(released([&] { return self.task->get_connections_info(); }));
           })
      .def("get_required_adapter_types",
           [](Task& self) {
             const auto inventory = released([&] { return self.task->get_connections_info(); });
             py::set types;
             for (const auto& connection : inventory) types.add(to_python(connection.type));
             return types;
           })
      .def("get_installed_adapters",
           [](Task& self) { return released([&] { return self.task->get_installed_adapters(); }); })
      .def("install_adapters", on_types(&ProvellTask::install_adapters), py::arg("adapter_types"),
           py::arg("verbose") = true)
      .def("uninstall_adapters", on_types(&ProvellTask::uninstall_adapters),
           py::arg("adapter_types"), py::arg("verbose") = true)
      .def(
          "_maven_coord_to_url",
          [](Task& self, const std::string& coord) {
            const auto [url, jar_name] =
                released([&] { return self.task->_maven_coord_to_url(coord); });
            return py::make_tuple(url, jar_name);
          },
          py::arg("coord"))
      .def("_resolve_transitive_deps", &resolve, py::arg("coord"), py::arg("resolved") = py::none(),
           py::arg("depth") = 0)
      .def("download_jdbc_jars", on_types(&ProvellTask::download_jdbc_jars),
           py::arg("adapter_types"), py::arg("verbose") = true)
      .def(
          "_download_jar",
          [](Task& self, const std::string& url, py::object dest_path, py::object verbose) {
            const std::filesystem::path destination = *optional_text(dest_path);
            const bool chatty = truth(verbose);
            return released([&] { return self.task->_download_jar(url, destination, chatty); });
          },
          py::arg("url"), py::arg("dest_path"), py::arg("verbose") = true)
      .def("update_jdbc_jars", on_types(&ProvellTask::update_jdbc_jars), py::arg("adapter_types"),
           py::arg("verbose") = true)
      .def(
          "sync",
          [](Task& self, py::object verbose, py::object clean, py::object dry_run) {
            const bool chatty = truth(verbose);
            const bool cleaning = truth(clean);
            const bool dry = truth(dry_run);
            return released([&] { return self.task->sync(chatty, cleaning, dry); });
          },
          py::arg("verbose") = true, py::arg("clean") = false, py::arg("dry_run") = false);
}

}  // namespace
}  // namespace zarn::python

PYBIND11_MODULE(provell, module) {
  namespace python = zarn::python;
  namespace provell = zarn::provell;
  python::py::options options;
  options.disable_function_signatures();
  module.doc() =
      "ZARN target sync: adapter packages and JDBC drivers for the profile's connections.";
  python::this_module = module;
  python::register_error_translation(module);
  module.attr("ADAPTER_PACKAGE_MAPPING") = python::catalogue_dict(provell::ADAPTER_PACKAGE_MAPPING);
  module.attr("ADAPTER_JDBC_MAPPING") = python::catalogue_dict(provell::ADAPTER_JDBC_MAPPING);
  // Fixed at import, as a module constant is: a mirror named then, else Maven Central.
  module.attr("MAVEN_REPO") = provell::maven_repo(zarn::host::Environment::from_process());
  module.def(
      "get_zarn_dir",
      [] {
        return python::to_path(provell::get_zarn_dir(zarn::host::Environment::from_process()));
      },
      "Get the ZARN configuration directory (~/.zarn/).");
  python::bind_task(module);
}
