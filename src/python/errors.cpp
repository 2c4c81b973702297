// How the core's errors reach Python.

#include <cstring>
#include <exception>
#include <filesystem>
#include <stdexcept>

#include "host/errors.h"
#include "host/host.h"
#include "os/file_error.h"
#include "os/interrupt.h"
#include "python/python_host.h"
#include "python/values.h"
#include "yaml/load.h"

namespace zarn::python {
namespace {

/// The module's YAMLError; set once when the module is initialised.
PyObject* yaml_error_type = nullptr;

/// A message of the core as Python text: UTF-8, a file name's stray bytes
/// kept as surrogate escapes, as os.fsdecode gives them.
py::str message(const char* text) {
  return py::reinterpret_steal<py::str>(
      PyUnicode_DecodeUTF8(text, static_cast<Py_ssize_t>(std::strlen(text)), "surrogateescape"));
}

py::object os_error(int error_number, const std::filesystem::path& filename) {
  return py::reinterpret_borrow<py::object>(PyExc_OSError)(
      error_number, std::strerror(error_number), path_text(filename));
}

py::object builtin(PyObject* type, const char* text) {
  return py::reinterpret_borrow<py::object>(type)(message(text));
}

py::object exception_object(const std::exception_ptr& error);

/// The cause a core error carries (PelkRuntimeError's, or a nested one), or None.
py::object cause_of(const std::exception& error) {
  if (const auto* runtime = dynamic_cast<const host::PelkRuntimeError*>(&error)) {
    if (runtime->cause()) return exception_object(runtime->cause());
  }
  if (const auto* nested = dynamic_cast<const std::nested_exception*>(&error)) {
    if (nested->nested_ptr()) return exception_object(nested->nested_ptr());
  }
  return py::none();
}

/// The Python exception object for an error of the core, without its cause.
py::object bare_exception_object(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const PythonError& e) {
    return e.value();
  } catch (const host::PelkRuntimeError& e) {
    py::object type = py::module_::import("pelk_common.exceptions").attr("PelkRuntimeError");
    return type(message(e.what()));
  } catch (const os::FileError& e) {
    return os_error(e.error_number(), e.path());
  } catch (const std::filesystem::filesystem_error& e) {
    return os_error(e.code().value(), e.path1());
  } catch (const yaml::ParseError& e) {
    return builtin(yaml_error_type, e.what());
  } catch (const os::Interrupted&) {
    return py::reinterpret_borrow<py::object>(PyExc_KeyboardInterrupt)();
  } catch (const std::invalid_argument& e) {
    return builtin(PyExc_ValueError, e.what());
  } catch (const std::exception& e) {
    return builtin(PyExc_RuntimeError, e.what());
  }
}

/// The Python exception object for an error of the core; a cause it carries
/// becomes its __cause__ (an original Python error is never rewrapped).
py::object exception_object(const std::exception_ptr& error) {
  py::object instance = bare_exception_object(error);
  try {
    std::rethrow_exception(error);
  } catch (const PythonError&) {
  } catch (const std::exception& e) {
    if (py::object cause = cause_of(e); !cause.is_none()) instance.attr("__cause__") = cause;
  } catch (...) {
  }
  return instance;
}

void raise(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const py::builtin_exception&) {
    throw;  // pybind11's own errors: its translation applies
  } catch (const py::error_already_set&) {
    throw;
  } catch (const PythonError& e) {
    e.restore();
    return;
  } catch (...) {
  }
  try {
    const py::object instance = exception_object(error);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(instance.ptr())), instance.ptr());
  } catch (py::error_already_set& failure) {
    failure.restore();  // the host's error class could not be imported: Python's own error
  }
}

}  // namespace

void register_error_translation(py::module_& module) {
  yaml_error_type = PyErr_NewExceptionWithDoc(
      (std::string(PyModule_GetName(module.ptr())) + ".YAMLError").c_str(),
      "A YAML document that cannot be read: file, line, column and problem.", nullptr, nullptr);
  module.add_object("YAMLError", py::reinterpret_borrow<py::object>(yaml_error_type));
  py::register_local_exception_translator([](std::exception_ptr error) {
    if (error) raise(error);
  });
}

}  // namespace zarn::python
