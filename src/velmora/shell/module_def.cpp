// The module's only exported symbol and its multi-phase definition.
#include <Python.h>

#include "velmora/module_name.hpp"
#include "velmora/shell/loading_steps.hpp"

// Every call relies on the GIL to keep one thread at a time in the module.
#ifdef Py_GIL_DISABLED
#error "Velmora needs the global interpreter lock; free-threaded CPython builds are not supported"
#endif

namespace kyber_alg::velmora {
namespace {

PyModuleDef_Slot kSlots[] = {
    {Py_mod_create, reinterpret_cast<void*>(create_step)},
    {Py_mod_exec, reinterpret_cast<void*>(exec_step)},
    {0, nullptr},
};

PyModuleDef kModuleDef = {
    PyModuleDef_HEAD_INIT,
    kModuleName,  // m_name
    nullptr,      // m_doc: __doc__ is None
    0,            // m_size
    nullptr,      // m_methods: the functions are made by the exec step
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace kyber_alg::velmora

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_Velmora() {
  return PyModuleDef_Init(&kyber_alg::velmora::kModuleDef);
}
