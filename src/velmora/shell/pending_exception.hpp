// Setting the pending exception aside while cleanup code calls the C API.
// 3.12 keeps an exception as one object; 3.11 as type, value and traceback.
#pragma once

#include <Python.h>

namespace kyber_alg::velmora {

class PendingException {
 public:
  PendingException() {
#if PY_VERSION_HEX >= 0x030C0000
    value_ = PyErr_GetRaisedException();
#else
    PyErr_Fetch(&type_, &value_, &traceback_);
#endif
  }
  PendingException(const PendingException&) = delete;
  PendingException& operator=(const PendingException&) = delete;
  ~PendingException() { restore(); }

  // Makes it pending again, in place of anything raised since.
  void restore() {
    if (!value_) return;
    PyErr_Clear();
#if PY_VERSION_HEX >= 0x030C0000
    PyErr_SetRaisedException(value_);
#else
    PyErr_Restore(type_, value_, traceback_);
    type_ = traceback_ = nullptr;
#endif
    value_ = nullptr;
  }

  // When something raised since, that exception stays pending with this one as
  // its __context__, as when an except block raises; otherwise as restore().
  void chain_under_current() {
    if (!value_ || !PyErr_Occurred()) return restore();
#if PY_VERSION_HEX < 0x030C0000
    PyErr_NormalizeException(&type_, &value_, &traceback_);
    if (traceback_) PyException_SetTraceback(value_, traceback_);
    Py_CLEAR(type_);
    Py_CLEAR(traceback_);
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyException_SetContext(value, value_);  // takes value_
    PyErr_Restore(type, value, traceback);
#else
    PyObject* current = PyErr_GetRaisedException();
    PyException_SetContext(current, value_);  // takes value_
    PyErr_SetRaisedException(current);
#endif
    value_ = nullptr;
  }

 private:
  PyObject* value_ = nullptr;
#if PY_VERSION_HEX < 0x030C0000
  PyObject* type_ = nullptr;
  PyObject* traceback_ = nullptr;
#endif
};

}  // namespace kyber_alg::velmora
