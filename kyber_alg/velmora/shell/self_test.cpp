#include "self_test.hpp"

#include <Python.h>

#include <initializer_list>

#include "../outside/call.hpp"
#include "../outside/lookup.hpp"
#include "../outside/names.hpp"
#include "common/ref.hpp"
#include "../unpack.hpp"
#include "builtins_cache.hpp"

namespace kyber_alg::velmora {
namespace {

constexpr const char kSampleText[] = "hello Bellmar![\\%tdy se76s66443a5hfd$nnn]";
constexpr const char kPlaintextLabel[] = "\xE6\x98\x8E\xE6\x96\x87\xEF\xBC\x9A";  // 明文：

// Calls a public function found by name in the module namespace.
Ref call_public(Name function, std::initializer_list<Name> argument_globals) {
  Ref callable = global(function);
  if (!callable) return {};
  Ref arguments[3];
  PyObject* raw[3] = {};
  size_t count = 0;
  for (Name argument : argument_globals) {
    arguments[count] = global(argument);
    if (!arguments[count]) return {};
    raw[count] = arguments[count].get();
    ++count;
  }
  return Ref::steal(PyObject_Vectorcall(callable.get(), raw, count, nullptr));
}

// Unpacks result into exactly targets.size() values bound as module globals.
bool bind_unpacked(PyObject* result, std::initializer_list<Name> targets) {
  Ref values[4];
  if (!unpack_exactly(result, static_cast<Py_ssize_t>(targets.size()), values)) return false;
  size_t i = 0;
  for (Name target : targets) {
    if (!set_global(target, values[i++].get())) return false;
  }
  return true;
}

bool print_line(const char* label, Name value_global) {
  Ref label_text = Ref::steal(PyUnicode_FromString(label));
  if (!label_text) return false;
  Ref value = global(value_global);
  if (!value) return false;
  return static_cast<bool>(call(cached_builtins().print, {label_text.get(), value.get()}));
}

bool bind_result(Name target, Ref result) { return result && set_global(target, result.get()); }

}  // namespace

bool run_self_test_if_main() {
  Ref module_name = global(Name::dunder_name);
  if (!module_name) return false;
  int main = PyObject_RichCompareBool(module_name.get(), name(Name::dunder_main), Py_EQ);
  if (main <= 0) return main == 0;

  Ref keys = call_public(Name::key_gen_hybrid, {});
  if (!keys || !bind_unpacked(keys.get(), {Name::pk0, Name::sk0})) return false;
  if (!print_line("pk:", Name::pk0) || !print_line("sk:", Name::sk0)) return false;

  Ref encrypted = call_public(Name::enc_hybrid, {Name::pk0});
  if (!encrypted || !bind_unpacked(encrypted.get(), {Name::cipher0, Name::cipher1, Name::key0, Name::iv})) return false;
  if (!print_line("cipher1:", Name::cipher0) || !print_line("cipher2:", Name::cipher1) ||
      !print_line("sym_key:", Name::key0) || !print_line("sym_iv:", Name::iv)) {
    return false;
  }

  if (!bind_result(Name::text, Ref::steal(PyUnicode_FromString(kSampleText)))) return false;
  if (!bind_result(Name::c_text, call_public(Name::sm4_encode, {Name::key0, Name::iv, Name::text}))) return false;

  Ref decrypted = call_public(Name::dec_hybrid, {Name::cipher0, Name::cipher1, Name::sk0});
  if (!decrypted || !bind_unpacked(decrypted.get(), {Name::key0, Name::iv})) return false;
  if (!print_line("sym_key:", Name::key0) || !print_line("sym_iv:", Name::iv) ||
      !print_line("cipher3(SM4_CBC):", Name::c_text)) {
    return false;
  }

  if (!bind_result(Name::cc_text, call_public(Name::sm4_decode, {Name::key0, Name::iv, Name::c_text}))) return false;
  return print_line(kPlaintextLabel, Name::cc_text);
}

}  // namespace kyber_alg::velmora
