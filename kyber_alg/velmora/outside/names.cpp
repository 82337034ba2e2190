#include "names.hpp"

#include "common/ref.hpp"

namespace kyber_alg::velmora {
namespace {

constexpr const char* kTexts[] = {
#define VELMORA_NAME_TEXT(id, text) text,
    VELMORA_GLOBAL_NAMES(VELMORA_NAME_TEXT) "",
    VELMORA_OTHER_NAMES(VELMORA_NAME_TEXT)
#undef VELMORA_NAME_TEXT
};
static_assert(sizeof(kTexts) / sizeof(kTexts[0]) == static_cast<size_t>(Name::count_));

struct Names {
  Ref interned[static_cast<int>(Name::count_)];
};
Names* g_names = nullptr;

}  // namespace

bool prepare_names() {
  for (int i = 0; i < static_cast<int>(Name::count_); ++i) {
    Ref interned = Ref::steal(PyUnicode_InternFromString(kTexts[i]));
    if (!interned) return false;
    never_destroyed(g_names).interned[i] = std::move(interned);
  }
  return true;
}

PyObject* name(Name id) { return g_names->interned[static_cast<int>(id)].get(); }

}  // namespace kyber_alg::velmora
