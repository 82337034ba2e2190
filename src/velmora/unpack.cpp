#include "velmora/unpack.hpp"

namespace kyber_alg::velmora {
namespace {

void raise_too_many(Py_ssize_t expected) {
  PyErr_Format(PyExc_ValueError, "too many values to unpack (expected %zd)", expected);
}

void raise_need_more(Py_ssize_t found) {
  PyErr_Format(PyExc_ValueError, "need more than %zd value%.1s to unpack", found, found == 1 ? "" : "s");
}

bool unpack_sequence(PyObject* values, Py_ssize_t count, Ref* out) {
  Py_ssize_t size = Py_SIZE(values);
  if (size != count) {
    size > count ? raise_too_many(count) : raise_need_more(size);
    return false;
  }
  bool tuple = PyTuple_CheckExact(values);
  for (Py_ssize_t i = 0; i < count; ++i) {
    out[i] = Ref::borrow(tuple ? PyTuple_GET_ITEM(values, i) : PyList_GET_ITEM(values, i));
  }
  return true;
}

}  // namespace

bool unpack_exactly(PyObject* values, Py_ssize_t count, Ref* out) {
  if (PyTuple_CheckExact(values) || PyList_CheckExact(values)) return unpack_sequence(values, count, out);
  Ref iterator = Ref::steal(PyObject_GetIter(values));
  if (!iterator) return false;
  for (Py_ssize_t i = 0; i < count; ++i) {
    out[i] = Ref::steal(PyIter_Next(iterator.get()));
    if (!out[i]) {
      if (!PyErr_Occurred()) raise_need_more(i);
      return false;
    }
  }
  Ref extra = Ref::steal(PyIter_Next(iterator.get()));
  if (extra) {
    raise_too_many(count);
    return false;
  }
  return !PyErr_Occurred();
}

}  // namespace kyber_alg::velmora
