// The synchronisation task as the plug-in module pelk.task.provell.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include "python/module.h"
#include "python/python_host.h"
#include "python/values.h"
#include "task/provell/catalogue.h"
#include "task/provell/provell_task.h"

namespace zarn::python {
namespace {

using provell::ProvellTask;

/// The task with the host it runs on, the profile name as it was given, and
/// the lock that makes calls on it take turns.
struct ProvellTaskObject {
  std::unique_ptr<PythonHost> host;
  std::unique_ptr<ProvellTask> task;
  py::object profile_name;
  ObjectLock lock;
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
  return text_argument(this_module.attr("MAVEN_REPO"), "provell.MAVEN_REPO");
}

/// Runs an operation on the task as guarded() does, after checking what the
/// host may have set wrong (MAVEN_REPO), so that fails at the call.
template <typename Fn>
auto call(ProvellTaskObject& self, Fn&& fn) {
  module_maven_repo();
  return guarded(&self.lock, std::forward<Fn>(fn));
}

std::optional<std::string> optional_path_text(py::handle value) {
  if (auto path = optional_path(value)) return path->native();
  return std::nullopt;
}

/// The transfers at once a caller asked for: an int from 1 to 64, as `--jobs` takes.
std::size_t transfers_argument(py::handle transfers) {
  if (!PyLong_Check(transfers.ptr()) || PyBool_Check(transfers.ptr())) {
    throw py::type_error("transfers must be an int, not " +
                         py::str(py::type::of(transfers).attr("__name__")).cast<std::string>());
  }
  int overflow = 0;
  const long long value = PyLong_AsLongLongAndOverflow(transfers.ptr(), &overflow);
  if (overflow != 0 || value < 1 || value > 64) {
    throw py::value_error("transfers must be from 1 to 64");
  }
  return static_cast<std::size_t>(value);
}

std::unique_ptr<ProvellTaskObject> make_task(py::handle project_dir, py::handle profiles_dir,
                                             py::object profile_name, py::handle transfers) {
  provell::TransferSettings settings;
  settings.jobs = transfers_argument(transfers);
  auto object = std::make_unique<ProvellTaskObject>();
  object->host = std::make_unique<PythonHost>(module_maven_repo);
  object->profile_name = profile_name;
  std::optional<std::string> profile_text;
  if (!profile_name.is_none()) profile_text = py::str(profile_name).cast<std::string>();
  auto& host = *object->host;
  const auto project = optional_path_text(project_dir);
  const auto profiles = optional_path_text(profiles_dir);
  object->task = guarded(nullptr, [&] {
    return std::make_unique<ProvellTask>(host, project, profiles, profile_text, settings);
  });
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

/// The connections' adapter types as the profile gives them; a type that
/// cannot be a set member (a list) is a TypeError naming its connection.
py::set adapter_types(const provell::ConnectionInventory& inventory) {
  py::set types;
  for (const auto& connection : inventory) {
    const py::object type = to_python(connection.type);
    if (PyObject_Hash(type.ptr()) == -1) {
      py::error_already_set unhashable;  // taken first: repr() needs no error pending
      const std::string text = "connection '" + connection.name + "': type " +
                               py::repr(type).cast<std::string>() + " is not an adapter type";
      unhashable.restore();
      py::raise_from(PyExc_TypeError, text.c_str());
      throw py::error_already_set();
    }
    types.add(type);
  }
  return types;
}

/// An operation that reads the connection inventory, its result as convert makes it.
template <typename Convert>
auto on_inventory(Convert convert) {
  return [convert](ProvellTaskObject& self) {
    return convert(call(self, [&] { return self.task->get_connections_info(); }));
  };
}

/// An outcome as the pair of lists Python callers get: (done, failed).
py::tuple as_lists(const provell::Outcome& outcome) {
  return py::make_tuple(outcome.done, outcome.failed_items());
}

/// An operation on (adapter_types, verbose): any iterable of types, taken as
/// text, and verbose by its truth value; its outcome as a 2-tuple of lists.
auto on_types(provell::Outcome (ProvellTask::*operation)(const std::set<std::string>&, bool)) {
  return [operation](ProvellTaskObject& self, const py::object& adapter_types,
                     const py::object& verbose) {
    const auto types = text_set(adapter_types);
    const bool chatty = truth(verbose);
    return as_lists(call(self, [&] { return ((*self.task).*operation)(types, chatty); }));
  };
}

/// _resolve_transitive_deps adds to the set it is given and returns that same set.
py::object resolve(ProvellTaskObject& self, py::handle coord, py::object resolved, int depth) {
  const std::string coordinate = text_argument(coord, "coord");
  if (resolved.is_none()) resolved = py::set();
  std::set<std::string> known = text_set(resolved);
  call(self, [&] { self.task->_resolve_transitive_deps(coordinate, known, depth); });
  for (const std::string& item : known) resolved.attr("add")(item);
  return resolved;
}

bool download_jar(ProvellTaskObject& self, py::handle url, py::handle dest_path,
                  const py::object& verbose) {
  const std::string address = text_argument(url, "url");
  const std::filesystem::path destination = path_argument(dest_path);
  const bool chatty = truth(verbose);
  return call(self, [&] { return self.task->_download_jar(address, destination, chatty); });
}

constexpr const char* kTypesDoc = "adapter_types, verbose=True)\n--\n\n";

std::string types_doc(const char* name, const char* line) {
  return std::string(name) + kTypesDoc + line;
}

void bind_task(py::module_& module) {
  using Task = ProvellTaskObject;
  py::class_<Task> task(
      module, "ProvellTask",
      "Task for synchronizing adapters and JARs based on profiles.yml connections.");
  refuse_pickling(task);
  task.def(py::init(&make_task), py::arg("project_dir") = py::none(),
           py::arg("profiles_dir") = py::none(), py::arg("profile_name") = py::none(),
           py::kw_only(), py::arg("transfers") = 8,
           "__init__(self, /, project_dir=None, profiles_dir=None, profile_name=None, *, "
           "transfers=8)\n--\n\n"
           "A sync task for a project folder and a profiles folder (default ~/.zarn).\n\n"
           "transfers: how many downloads run at once (1 to 64); 1 fetches one file at a "
           "time, in the order of the report.")
      .def_property_readonly("project_dir",
                             [](const Task& self) { return path_text(self.task->project_dir); })
      .def_property_readonly("profiles_dir",
                             [](const Task& self) { return path_text(self.task->profiles_dir); })
      .def_property_readonly("profile_name", [](const Task& self) { return self.profile_name; })
      .def_property_readonly("compute_registry",
                             [](const Task& self) {
                               const auto& registry = dynamic_cast<const PythonComputeRegistry&>(
                                   *self.task->compute_registry);
                               return registry.object();
                             })
      .def("_get_profile_name",
           [](Task& self) { return call(self, [&] { return self.task->_get_profile_name(); }); })
      .def("_load_profiles",
           [](Task& self) {
             return to_python(call(self, [&] { return self.task->_load_profiles(); }));
           })
      .def("get_connections_info", on_inventory(&connections_dict),
           "get_connections_info(self, /)\n--\n\n"
           "The profile's connections: name -> {'type': ..., 'profile': ...}.")
      .def("get_required_adapter_types", on_inventory(&adapter_types),
           "get_required_adapter_types(self, /)\n--\n\n"
           "The set of adapter types the profile's connections use.")
      .def(
          "get_installed_adapters",
          [](Task& self) {
            return call(self, [&] { return self.task->get_installed_adapters(); });
          },
          "get_installed_adapters(self, /)\n--\n\n"
          "The set of adapter types whose packages this interpreter can import.")
      .def("install_adapters", on_types(&ProvellTask::install_adapters),
           types_doc("install_adapters(self, /, ",
                     "Install the adapter packages of the types: (installed, failed).")
               .c_str(),
           py::arg("adapter_types"), py::arg("verbose") = true)
      .def("uninstall_adapters", on_types(&ProvellTask::uninstall_adapters),
           types_doc("uninstall_adapters(self, /, ",
                     "Remove the adapter packages of the types: (removed, failed).")
               .c_str(),
           py::arg("adapter_types"), py::arg("verbose") = true)
      .def(
          "_maven_coord_to_url",
          [](Task& self, py::handle coord) {
            const std::string coordinate = text_argument(coord, "coord");
            const auto [url, jar_name] =
                call(self, [&] { return self.task->_maven_coord_to_url(coordinate); });
            return py::make_tuple(url, jar_name);
          },
          py::arg("coord"))
      .def("_resolve_transitive_deps", &resolve, py::arg("coord"), py::arg("resolved") = py::none(),
           py::arg("depth") = 0)
      .def("download_jdbc_jars", on_types(&ProvellTask::download_jdbc_jars),
           types_doc("download_jdbc_jars(self, /, ",
                     "Download the JDBC drivers of the types and their dependencies: "
                     "(downloaded, failed).")
               .c_str(),
           py::arg("adapter_types"), py::arg("verbose") = true)
      .def("_download_jar", &download_jar, py::arg("url"), py::arg("dest_path"),
           py::arg("verbose") = true)
      .def(
          "update_jdbc_jars",
          [](Task& self, const py::object& adapter_types, const py::object& verbose) {
            // Checked as every operation checks them, though the update needs none.
            static_cast<void>(text_set(adapter_types));
            const bool chatty = truth(verbose);
            return call(self, [&] { return self.task->update_jdbc_jars(chatty); });
          },
          types_doc("update_jdbc_jars(self, /, ",
                    "Point the compute settings at the downloaded drivers; True when done.")
              .c_str(),
          py::arg("adapter_types"), py::arg("verbose") = true)
      .def(
          "sync",
          [](Task& self, const py::object& verbose, const py::object& clean,
             const py::object& dry_run) {
            const bool chatty = truth(verbose);
            const bool cleaning = truth(clean);
            const bool dry = truth(dry_run);
            return call(self, [&] { return self.task->sync(chatty, cleaning, dry); });
          },
          "sync(self, /, verbose=True, clean=False, dry_run=False)\n--\n\n"
          "Report the adapters the profile needs and fetch its JDBC drivers; True on success.",
          py::arg("verbose") = true, py::arg("clean") = false, py::arg("dry_run") = false);
}

void init_module(py::module_& module) {
  namespace provell = zarn::provell;
  module.doc() =
      "ZARN target sync: adapter packages and JDBC drivers for the profile's connections.";
  this_module = module;
  register_error_translation(module);
  module.attr("ADAPTER_PACKAGE_MAPPING") = catalogue_dict(provell::ADAPTER_PACKAGE_MAPPING);
  module.attr("ADAPTER_JDBC_MAPPING") = catalogue_dict(provell::ADAPTER_JDBC_MAPPING);
  // Fixed at import, as a module constant is: a mirror named then, else Maven Central.
  module.attr("MAVEN_REPO") = provell::maven_repo(environment_snapshot());
  module.def(
      "get_zarn_dir", [] { return to_path(provell::get_zarn_dir(environment_snapshot())); },
      "get_zarn_dir()\n--\n\nGet the ZARN configuration directory (~/.zarn/).");
  bind_task(module);
}

}  // namespace
}  // namespace zarn::python

ZARN_PLUGIN_MODULE(provell, zarn::python::init_module)
