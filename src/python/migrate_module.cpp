// The migration task as the plug-in module pelk.task.migrate.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "python/module.h"
#include "python/python_host.h"
#include "python/values.h"
#include "task/migrate/migrate_task.h"

namespace zarn::python {
namespace {

using migrate::MigrationResult;

constexpr const char* kModuleDoc =
    "ZARN Migration Task - Migrate from pelk to ZARN configuration.\n\n"
    "Two modes:\n"
    "- Mode A: Convert pelk project to ZARN (not in ZARN project)\n"
    "- Mode B: Import pelk project INTO ZARN project (in ZARN project)";

constexpr const char* kClassDoc =
    "ZARN Migration Task.\n\n"
    "Handles two modes:\n"
    "- Mode A: Convert pelk project to ZARN (when not in ZARN project)\n"
    "- Mode B: Import pelk project INTO ZARN project (when in ZARN project)";

constexpr const char* kProjectFileDoc =
    "Create zarn_project.yml from fresh template (like pelk init) + ZARN additions.\n\n"
    "The template matches pelk init's format, plus the ZARN-specific flatfile-paths\n"
    "setting, and creates the flatfiles/ directory. Project-specific configs can be\n"
    "copied from the backed-up file if needed.";

/// The task with the host it runs on, and the lock that makes calls on it take turns.
struct MigrateTaskObject {
  std::unique_ptr<PythonHost> host;
  std::unique_ptr<migrate::MigrateTask> task;
  ObjectLock lock;
};

using migrate::MigrationResults;

std::string result_repr(const MigrationResult& result) {
  return "MigrationResult(success=" + std::string(result.success ? "True" : "False") +
         ", message=" + py::repr(py::str(result.message)).cast<std::string>() +
         ", files_copied=" + std::to_string(result.files_copied) + ")";
}

void bind_result(py::module_& module) {
  py::class_<MigrationResult>(module, "MigrationResult", "Result of a migration operation.")
      .def(py::init([](bool success, std::string message, int files_copied) {
             return MigrationResult{success, std::move(message), files_copied};
           }),
           py::arg("success"), py::arg("message"), py::arg("files_copied") = 0,
           "__init__(self, /, success, message, files_copied=0)\n--\n\n"
           "A result: whether it succeeded, what was done, how many files were copied.")
      .def_readwrite("success", &MigrationResult::success)
      .def_readwrite("message", &MigrationResult::message)
      .def_readwrite("files_copied", &MigrationResult::files_copied)
      .def("__eq__",
           [](const MigrationResult& self, const py::object& other) -> py::object {
             if (!py::isinstance<MigrationResult>(other))
               return py::reinterpret_borrow<py::object>(Py_NotImplemented);
             return py::bool_(self == other.cast<const MigrationResult&>());
           })
      // Rebuilt from its fields at every pickle protocol, and by copy and deepcopy.
      .def("__reduce__",
           [](py::handle self) {
             const auto& result = self.cast<const MigrationResult&>();
             return py::make_tuple(
                 py::type::of(self),
                 py::make_tuple(result.success, result.message, result.files_copied));
           })
      .def("__repr__", &result_repr);
}

std::optional<std::string> optional_path_text(py::handle value) {
  if (auto path = optional_path(value)) return path->native();
  return std::nullopt;
}

std::unique_ptr<MigrateTaskObject> make_task(py::handle source_path, py::handle profiles_only,
                                             py::handle project_only, py::handle full,
                                             py::handle dry_run, py::handle project_dir) {
  auto object = std::make_unique<MigrateTaskObject>();
  object->host = std::make_unique<PythonHost>();
  const auto source = optional_path_text(source_path);
  const auto project = optional_path_text(project_dir);
  const bool profiles = truth(profiles_only);
  const bool project_file = truth(project_only);
  const bool everything = truth(full);
  const bool dry = truth(dry_run);
  auto& host = *object->host;
  object->task = guarded(nullptr, [&] {
    return std::make_unique<migrate::MigrateTask>(
        host,
        migrate::settings_from_arguments(source, profiles, project_file, everything, dry, project));
  });
  return object;
}

/// Runs an operation on the task as guarded() does.
template <typename Fn>
auto call(MigrateTaskObject& self, Fn&& fn) {
  return guarded(&self.lock, std::forward<Fn>(fn));
}

/// A name argument taken as a path is: str, bytes or os.PathLike.
std::string name_argument(py::handle value) {
  return path_argument(value).native();
}

void bind_task(py::module_& module) {
  using Task = MigrateTaskObject;
  py::class_<Task> task(module, "MigrateTask", kClassDoc);
  refuse_pickling(task);
  task.def(py::init(&make_task), py::arg("source_path") = py::none(),
           py::arg("profiles_only") = false, py::arg("project_only") = false,
           py::arg("full") = false, py::arg("dry_run") = false, py::arg("project_dir") = py::none(),
           "__init__(self, /, source_path=None, profiles_only=False, project_only=False, "
           "full=False, dry_run=False, project_dir=None)\n--\n\n"
           "A migration of the pelk project at source_path (default: project_dir) "
           "into project_dir (default: the current folder).")
      .def_property_readonly("source_path",
                             [](const Task& self) -> py::object {
                               const auto& path = self.task->settings().source_path;
                               return path ? to_path(*path) : py::object(py::none());
                             })
      .def_property_readonly("profiles_only",
                             [](const Task& self) { return self.task->settings().profiles_only; })
      .def_property_readonly("project_only",
                             [](const Task& self) { return self.task->settings().project_only; })
      .def_property_readonly("full", [](const Task& self) { return self.task->settings().full; })
      .def_property_readonly("dry_run",
                             [](const Task& self) { return self.task->settings().dry_run; })
      .def_property_readonly(
          "project_dir",
          [](const Task& self) { return to_path(self.task->settings().project_dir); })
      .def(
          "run", [](Task& self) { return call(self, [&] { return self.task->run(); }); },
          "run(self, /)\n--\n\nExecute migration based on context and flags.")
      .def(
          "_convert_to_zarn",
          [](Task& self) { return call(self, [&] { return self.task->_convert_to_zarn(); }); },
          "Mode A: Convert pelk project in current directory to ZARN.")
      .def(
          "_auto_detect_and_migrate",
          [](Task& self) {
            return call(self, [&] { return self.task->_auto_detect_and_migrate(); });
          },
          "Auto-detect what needs to be migrated.")
      .def(
          "_migrate_profiles",
          [](Task& self) { return call(self, [&] { return self.task->_migrate_profiles(); }); },
          "Migrate project-specific profile from ~/.pelk/profiles.yml to ~/.zarn/profiles.yml.")
      .def(
          "_migrate_project_file",
          [](Task& self) { return call(self, [&] { return self.task->_migrate_project_file(); }); },
          kProjectFileDoc)
      .def(
          "_import_pelk_project",
          [](Task& self) { return call(self, [&] { return self.task->_import_pelk_project(); }); },
          "Mode B: Import pelk project INTO current ZARN project.")
      .def(
          "_copy_directory",
          [](Task& self, py::handle dir_name, py::handle source_name) {
            const std::string dir = name_argument(dir_name);
            const std::string source = name_argument(source_name);
            return call(self, [&] { return self.task->_copy_directory(dir, source); });
          },
          "Copy a directory from source to target/<source_name>/.", py::arg("dir_name"),
          py::arg("source_name"))
      .def(
          "_import_profile_targets",
          [](Task& self, py::handle source_name) {
            const std::string source = name_argument(source_name);
            return call(self, [&] { return self.task->_import_profile_targets(source); });
          },
          "Import profile targets from source pelk project into ZARN profile.",
          py::arg("source_name"))
      .def(
          "_show_summary",
          [](Task& self, const MigrationResults& results) {
            call(self, [&] { self.task->_show_summary(results); });
          },
          "Show migration summary for Mode A.", py::arg("results"))
      .def(
          "_show_import_summary",
          [](Task& self, py::handle source_name, const MigrationResults& results) {
            const std::string source = name_argument(source_name);
            call(self, [&] { self.task->_show_import_summary(source, results); });
          },
          "Show import summary for Mode B.", py::arg("source_name"), py::arg("results"));
}

void init_module(py::module_& module) {
  module.doc() = kModuleDoc;
  register_error_translation(module);
  bind_result(module);
  bind_task(module);
}

}  // namespace
}  // namespace zarn::python

ZARN_PLUGIN_MODULE(migrate, zarn::python::init_module)
