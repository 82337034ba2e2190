#include "velmora/outside/names.hpp"

#include "velmora/module_state.hpp"

namespace kyber_alg::velmora {
namespace {

constexpr const char* kTexts[] = {
#define VELMORA_NAME_TEXT(id, text) text,
    VELMORA_ALL_NAMES(VELMORA_NAME_TEXT)
#undef VELMORA_NAME_TEXT
};
static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == static_cast<size_t>(kNameCount));

}  // namespace

bool prepare_names() {
  for (int i = 0; i < kNameCount; ++i) {
    Ref interned = Ref::steal(PyUnicode_InternFromString(kTexts[i]));
    if (!interned) return false;
    module_state().names[i] = std::move(interned);
  }
  return true;
}

PyObject* name(Name id) { return module_state().names[static_cast<int>(id)].get(); }

}  // namespace kyber_alg::velmora
