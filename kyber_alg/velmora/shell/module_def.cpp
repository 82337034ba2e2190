// The module's only exported symbol and its multi-phase definition.
#include <Python.h>

#include "loading_steps.hpp"

namespace kyber_alg::velmora {
namespace {

PyModuleDef_Slot kSlots[] = {
    {Py_mod_create, reinterpret_cast<void*>(create_step)},
    {Py_mod_exec, reinterpret_cast<void*>(exec_step)},
    {0, nullptr},
};

PyModuleDef kModuleDef = {
    PyModuleDef_HEAD_INIT,
    "Velmora",  // m_name
    nullptr,    // m_doc: __doc__ is None
    0,          // m_size
    nullptr,    // m_methods: the functions are made by the exec step
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
