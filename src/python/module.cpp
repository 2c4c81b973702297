#include "python/module.h"

namespace zarn::python {

bool in_main_interpreter() {
  return PyInterpreterState_Get() == PyInterpreterState_Main();
}

void refuse_subinterpreter(const char* module_name) {
  PyErr_Format(PyExc_ImportError,
               "%s cannot be imported in a subinterpreter: it runs in the main interpreter only",
               module_name);
}

}  // namespace zarn::python
