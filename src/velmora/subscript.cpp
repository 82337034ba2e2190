#include "velmora/subscript.hpp"

#include <algorithm>

namespace kyber_alg::velmora {
namespace {

// Plain substring for an exact str, with Python's clamping of the bounds.
Ref slice_text(PyObject* text, std::optional<Py_ssize_t> start, std::optional<Py_ssize_t> stop) {
  Py_ssize_t length = PyUnicode_GET_LENGTH(text);
  auto clamp = [length](Py_ssize_t index) {
    if (index < 0) index += length;
    return std::clamp<Py_ssize_t>(index, 0, length);
  };
  Py_ssize_t from = start ? clamp(*start) : 0;
  Py_ssize_t to = stop ? clamp(*stop) : length;
  return Ref::steal(PyUnicode_Substring(text, from, std::max(from, to)));
}

Ref bound(std::optional<Py_ssize_t> index) {
  return index ? Ref::steal(PyLong_FromSsize_t(*index)) : Ref::borrow(Py_None);
}

}  // namespace

Ref item(PyObject* value, Py_ssize_t index) {
  if (PyTuple_CheckExact(value) && index < PyTuple_GET_SIZE(value))
    return Ref::borrow(PyTuple_GET_ITEM(value, index));
  Ref key = Ref::steal(PyLong_FromSsize_t(index));
  if (!key) return {};
  return Ref::steal(PyObject_GetItem(value, key.get()));
}

Ref slice(PyObject* value, std::optional<Py_ssize_t> start, std::optional<Py_ssize_t> stop) {
  if (PyUnicode_CheckExact(value)) return slice_text(value, start, stop);
  PyMappingMethods* mapping = Py_TYPE(value)->tp_as_mapping;
  if (!mapping || !mapping->mp_subscript) {
    PyErr_Format(PyExc_TypeError, "'%.200s' object is unsliceable", Py_TYPE(value)->tp_name);
    return {};
  }
  Ref from = bound(start);
  if (!from) return {};
  Ref to = bound(stop);
  if (!to) return {};
  Ref range = Ref::steal(PySlice_New(from.get(), to.get(), nullptr));
  if (!range) return {};
  return Ref::steal(mapping->mp_subscript(value, range.get()));
}

}  // namespace kyber_alg::velmora
