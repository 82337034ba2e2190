#include "velmora/shell/traceback_entry.hpp"

#include <Python.h>
#include <frameobject.h>

#include "common/ref.hpp"
#include "velmora/module_name.hpp"
#include "velmora/shell/pending_exception.hpp"

namespace kyber_alg::velmora {
namespace {

// A frame of an empty code object named entry_name in the module's source
// name, line 0, with empty globals: what a traceback entry points at. Built
// through public calls only (3.13 no longer declares _PyTraceback_Add).
Ref make_entry_frame(const char* entry_name) {
  Ref globals = Ref::steal(PyDict_New());
  if (!globals) return {};
  Ref code = Ref::steal(reinterpret_cast<PyObject*>(PyCode_NewEmpty(kSourceName, entry_name, 0)));
  if (!code) return {};
  return Ref::steal(reinterpret_cast<PyObject*>(
      PyFrame_New(PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code.get()), globals.get(), nullptr)));
}

}  // namespace

void add_traceback_entry(const char* entry_name) {
  // Making the frame may run Python code (a pure-Python file system codec),
  // which must not start with an exception pending.
  PendingException pending;
  Ref frame = make_entry_frame(entry_name);
  if (!frame) {
    pending.chain_under_current();
    return;
  }
  pending.restore();
  PyTraceBack_Here(reinterpret_cast<PyFrameObject*>(frame.get()));
}

}  // namespace kyber_alg::velmora
