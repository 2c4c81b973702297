#pragma once

#include <pybind11/pybind11.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "yaml/node.h"

namespace zarn::python {

namespace py = pybind11;

/// A YAML value as PyYAML's safe_load gives it: None, bool, int of any size,
/// float, str, bytes, datetime.date or datetime.datetime, list, dict or set.
/// Values shared in the document are shared in the result.
py::object to_python(const yaml::Node& node);

/// The value a host's YAML loader returned, as a document node. Shared lists
/// and dicts stay shared, so a small aliased document stays small; an object
/// of another type counts as its str() text.
yaml::Node from_python(py::handle value);

/// The name of path as os.fsdecode gives it.
py::str path_text(const std::filesystem::path& path);
/// pathlib.Path of path.
py::object to_path(const std::filesystem::path& path);

/// A path argument as Python's own functions take one: str (surrogate
/// escapes included), bytes or os.PathLike; TypeError for anything else,
/// None included, and ValueError("embedded null byte").
std::filesystem::path path_argument(py::handle value);
/// A path argument that may be None, which gives nothing.
std::optional<std::filesystem::path> optional_path(py::handle value);
/// A text argument: str only (TypeError naming it otherwise), without NUL.
std::string text_argument(py::handle value, const char* name);

/// Python's truth value of any object.
bool truth(py::handle value);

/// The adapter types of an iterable, as text (a non-text member by its str()).
std::set<std::string> text_set(py::handle values);

/// Registers, once per module, how the core's errors reach Python: file
/// errors as OSError with errno and filename, YAML errors as the module's
/// YAMLError, PelkRuntimeError as the host's class with its cause chained,
/// interrupts as the KeyboardInterrupt that caused them.
void register_error_translation(py::module_& module);

}  // namespace zarn::python
