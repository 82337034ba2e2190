#include "velmora/shell/self_test.hpp"

#include <Python.h>

#include <initializer_list>

#include "common/ref.hpp"
#include "velmora/outside/call.hpp"
#include "velmora/outside/names.hpp"
#include "velmora/unpack.hpp"

namespace kyber_alg::velmora {
namespace {

constexpr const char kSampleText[] = "hello Bellmar![\\%tdy se76s66443a5hfd$nnn]";
constexpr const char kPlaintextLabel[] = "\xE6\x98\x8E\xE6\x96\x87\xEF\xBC\x9A";  // 明文：

// Calls a public function found by name in the module namespace.
Ref call_public(Namespace& names, Name function, std::initializer_list<Name> argument_globals) {
  Ref callable = names.global(function);
  if (!callable) return {};
  Ref arguments[3];
  PyObject* raw[3] = {};
  size_t count = 0;
  for (Name argument : argument_globals) {
    arguments[count] = names.global(argument);
    if (!arguments[count]) return {};
    raw[count] = arguments[count].get();
    ++count;
  }
  return Ref::steal(PyObject_Vectorcall(callable.get(), raw, count, nullptr));
}

// Unpacks result into exactly targets.size() values bound as module globals.
bool bind_unpacked(const Namespace& names, PyObject* result, std::initializer_list<Name> targets) {
  Ref values[4];
  if (!unpack_exactly(result, static_cast<Py_ssize_t>(targets.size()), values)) return false;
  size_t i = 0;
  for (Name target : targets) {
    if (!names.set_global(target, values[i++].get())) return false;
  }
  return true;
}

bool print_line(Namespace& names, const char* label, Name value_global) {
  Ref label_text = Ref::steal(PyUnicode_FromString(label));
  if (!label_text) return false;
  Ref value = names.global(value_global);
  if (!value) return false;
  return static_cast<bool>(call(names.load_time_builtins().print.get(), {label_text.get(), value.get()}));
}

bool bind_result(const Namespace& names, Name target, Ref result) {
  return result && names.set_global(target, result.get());
}

}  // namespace

bool run_self_test_if_main(Namespace& names) {
  Ref module_name = names.global(Name::dunder_name);
  if (!module_name) return false;
  int main = PyObject_RichCompareBool(module_name.get(), name(Name::dunder_main), Py_EQ);
  if (main <= 0) return main == 0;

  Ref keys = call_public(names, Name::key_gen_hybrid, {});
  if (!keys || !bind_unpacked(names, keys.get(), {Name::pk0, Name::sk0})) return false;
  if (!print_line(names, "pk:", Name::pk0) || !print_line(names, "sk:", Name::sk0)) return false;

  Ref encrypted = call_public(names, Name::enc_hybrid, {Name::pk0});
  if (!encrypted ||
      !bind_unpacked(names, encrypted.get(), {Name::cipher0, Name::cipher1, Name::key0, Name::iv}))
    return false;
  if (!print_line(names, "cipher1:", Name::cipher0) || !print_line(names, "cipher2:", Name::cipher1) ||
      !print_line(names, "sym_key:", Name::key0) || !print_line(names, "sym_iv:", Name::iv)) {
    return false;
  }

  if (!bind_result(names, Name::text, Ref::steal(PyUnicode_FromString(kSampleText)))) return false;
  if (!bind_result(names, Name::c_text,
                   call_public(names, Name::sm4_encode, {Name::key0, Name::iv, Name::text})))
    return false;

  Ref decrypted = call_public(names, Name::dec_hybrid, {Name::cipher0, Name::cipher1, Name::sk0});
  if (!decrypted || !bind_unpacked(names, decrypted.get(), {Name::key0, Name::iv})) return false;
  if (!print_line(names, "sym_key:", Name::key0) || !print_line(names, "sym_iv:", Name::iv) ||
      !print_line(names, "cipher3(SM4_CBC):", Name::c_text)) {
    return false;
  }

  if (!bind_result(names, Name::cc_text,
                   call_public(names, Name::sm4_decode, {Name::key0, Name::iv, Name::c_text})))
    return false;
  return print_line(names, kPlaintextLabel, Name::cc_text);
}

}  // namespace kyber_alg::velmora
