#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace zarn::python {

namespace py = pybind11;

/// Whether the running interpreter is the main one. pybind11's GIL handling
/// knows only the main interpreter: in a subinterpreter it would hang.
bool in_main_interpreter();

/// Sets ImportError for a module imported by a subinterpreter.
void refuse_subinterpreter(const char* module_name);

/// Makes pickle and copy refuse objects of the class with TypeError, as
/// they do for open files, instead of pybind11's default reduction.
template <typename Class>
void refuse_pickling(Class& cls) {
  const std::string name = cls.attr("__name__").template cast<std::string>();
  cls.def("__reduce__", [name](py::handle) -> py::object {
    throw py::type_error("cannot pickle '" + name + "' object");
  });
}

}  // namespace zarn::python

/// Defines the entry point of plug-in module name, whose content init
/// (a void(py::module_&)) adds; refused outside the main interpreter, before
/// pybind11 is touched. Doc texts start with the task's own words.
#define ZARN_PLUGIN_MODULE(name, init)                                                           \
  static ::pybind11::module_::module_def zarn_module_def_##name;                                 \
  PYBIND11_PLUGIN_IMPL(name) {                                                                   \
    if (!::zarn::python::in_main_interpreter()) {                                                \
      ::zarn::python::refuse_subinterpreter(PYBIND11_TOSTRING(name));                            \
      return nullptr;                                                                            \
    }                                                                                            \
    PYBIND11_CHECK_PYTHON_VERSION                                                                \
    PYBIND11_ENSURE_INTERNALS_READY                                                              \
    auto module = ::pybind11::module_::create_extension_module(PYBIND11_TOSTRING(name), nullptr, \
                                                               &zarn_module_def_##name);         \
    try {                                                                                        \
      ::pybind11::options options;                                                               \
      options.disable_function_signatures();                                                     \
      init(module);                                                                              \
      return module.ptr();                                                                       \
    }                                                                                            \
    PYBIND11_CATCH_INIT_EXCEPTIONS                                                               \
  }
