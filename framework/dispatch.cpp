#include "framework/dispatch.h"

#include "framework/hresult.h"
#include "framework/module.h"

#include <oleauto.h>

namespace tavrin {
namespace {

struct CachedTypeLib {
  ComPtr<ITypeLib> library;
  HRESULT result = E_FAIL;
};

const CachedTypeLib& ModuleTypeLib() {
  // Function-local static: browser windows on several threads may ask at the same time.
  static const CachedTypeLib cached = [] {
    CachedTypeLib loaded;
    const std::wstring path = ModuleFileName();
    loaded.result =
        path.empty() ? E_FAIL : LoadTypeLibEx(path.c_str(), REGKIND_NONE, loaded.library.put());
    return loaded;
  }();
  return cached;
}

}  // namespace

HRESULT ModuleTypeInfo(REFIID riid, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  try {
    const CachedTypeLib& cached = ModuleTypeLib();
    RETURN_IF_FAILED(cached.result);
    return cached.library->GetTypeInfoOfGuid(riid, info);
  }
  CATCH_RETURN();
}

}  // namespace tavrin
