#include "velmora/shell/binding.hpp"

namespace kyber_alg::velmora {
namespace {

void raise_count_error(const FunctionSpec& spec, Py_ssize_t given) {
  Py_ssize_t expected = static_cast<Py_ssize_t>(spec.parameters.size());
  PyErr_Format(PyExc_TypeError, "%.200s() takes %.8s %zd positional argument%.1s (%zd given)", spec.name,
               "exactly", expected, expected == 1 ? "" : "s", given);
}

// 1: equal, 0: different, -1: error. Identity first, then text equality.
int same_name(PyObject* parameter, PyObject* keyword) {
  if (parameter == keyword) return 1;
  if (PyUnicode_CheckExact(keyword)) {
    return PyUnicode_GET_LENGTH(parameter) == PyUnicode_GET_LENGTH(keyword) &&
           PyUnicode_Compare(parameter, keyword) == 0;
  }
  return PyObject_RichCompareBool(parameter, keyword, Py_EQ);
}

// Index in kwnames of the keyword naming parameter, -1 when absent, -2 on error.
Py_ssize_t find_keyword(PyObject* parameter, PyObject* kwnames) {
  Py_ssize_t count = PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < count; ++k) {
    if (PyTuple_GET_ITEM(kwnames, k) == parameter) return k;
  }
  for (Py_ssize_t k = 0; k < count; ++k) {
    int equal = same_name(parameter, PyTuple_GET_ITEM(kwnames, k));
    if (equal < 0) return -2;
    if (equal) return k;
  }
  return -1;
}

// Index of the parameter that keyword names, -1 when none, -2 on error.
Py_ssize_t find_parameter(const FunctionSpec& spec, const Ref* parameter_names, PyObject* keyword) {
  for (size_t p = 0; p < spec.parameters.size(); ++p) {
    int equal = same_name(parameter_names[p].get(), keyword);
    if (equal < 0) return -2;
    if (equal) return static_cast<Py_ssize_t>(p);
  }
  return -1;
}

// Keywords left over after every parameter found its value: the first one in
// call order that names a positional parameter again, or none at all, decides.
bool reject_extra_keywords(const FunctionSpec& spec, const Ref* parameter_names, Py_ssize_t positional,
                           PyObject* kwnames) {
  for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(kwnames); ++k) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, k);
    if (!PyUnicode_Check(keyword)) {
      PyErr_Format(PyExc_TypeError, "%.200s() keywords must be strings", spec.name);
      return false;
    }
    Py_ssize_t parameter = find_parameter(spec, parameter_names, keyword);
    if (parameter == -2) return false;
    if (parameter >= positional) continue;
    if (parameter >= 0) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for keyword argument '%U'", spec.name, keyword);
    } else {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", spec.name, keyword);
    }
    return false;
  }
  return true;
}

bool bind_counts_and_keywords(const FunctionSpec& spec, const Ref* parameter_names, PyObject* const* args,
                              Py_ssize_t positional, PyObject* kwnames, PyObject** bound) {
  Py_ssize_t parameters = static_cast<Py_ssize_t>(spec.parameters.size());
  Py_ssize_t keywords = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  if (keywords == 0 ? positional != parameters : positional > parameters) {
    raise_count_error(spec, positional);
    return false;
  }
  for (Py_ssize_t p = 0; p < positional; ++p) bound[p] = args[p];
  if (keywords == 0) return true;
  Py_ssize_t taken = 0;
  for (Py_ssize_t p = positional; p < parameters; ++p) {
    Py_ssize_t k = find_keyword(parameter_names[p].get(), kwnames);
    if (k == -2) return false;
    if (k == -1) {
      raise_count_error(spec, p);
      return false;
    }
    bound[p] = args[positional + k];
    ++taken;
  }
  return taken == keywords || reject_extra_keywords(spec, parameter_names, positional, kwnames);
}

bool check_exact_str(const FunctionSpec& spec, PyObject** bound) {
  for (size_t p = 0; p < spec.parameters.size(); ++p) {
    if ((spec.exact_str_parameters >> p & 1u) && !PyUnicode_CheckExact(bound[p])) {
      PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                   spec.parameters[p], "str", Py_TYPE(bound[p])->tp_name);
      return false;
    }
  }
  return true;
}

}  // namespace

BindResult bind_arguments(const FunctionSpec& spec, const Ref* parameter_names, PyObject* const* args,
                          size_t nargsf, PyObject* kwnames, PyObject** bound) {
  Py_ssize_t positional = PyVectorcall_NARGS(nargsf);
  if (!bind_counts_and_keywords(spec, parameter_names, args, positional, kwnames, bound)) {
    return BindResult::count_or_keyword_error;
  }
  return check_exact_str(spec, bound) ? BindResult::bound : BindResult::type_error;
}

bool check_no_arguments(const FunctionSpec& spec, size_t nargsf, PyObject* kwnames) {
  if (kwnames && PyTuple_GET_SIZE(kwnames) != 0) {
    PyErr_Format(PyExc_TypeError, "%.200s() takes no keyword arguments", spec.name);
    return false;
  }
  Py_ssize_t positional = PyVectorcall_NARGS(nargsf);
  if (positional != 0) {
    PyErr_Format(PyExc_TypeError, "%.200s() takes no arguments (%zd given)", spec.name, positional);
    return false;
  }
  return true;
}

}  // namespace kyber_alg::velmora
