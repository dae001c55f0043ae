#include "framework/dispatch.h"

#include "framework/hresult.h"
#include "framework/module.h"

#include <oleauto.h>

#include <atomic>

namespace tavrin {
namespace {

// Browser windows on several threads may ask at the same time. Only a loaded library is kept, so
// a failed load is tried again; its reference is never given back, since a Release at DLL unload
// would run under the loader lock.
std::atomic<ITypeLib*> g_typeLib{nullptr};

}  // namespace

HRESULT ModuleTypeInfo(REFIID riid, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  try {
    ITypeLib* library = g_typeLib.load();
    if (!library) {
      const std::wstring path = ModuleFileName();
      if (path.empty()) return E_FAIL;
      ComPtr<ITypeLib> loaded;
      RETURN_IF_FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, loaded.put()));
      // A thread that lost the race uses the library kept first.
      if (g_typeLib.compare_exchange_strong(library, loaded.get())) {
        library = loaded.get();
        library->AddRef();
      }
    }
    return library->GetTypeInfoOfGuid(riid, info);
  }
  CATCH_RETURN();
}

}  // namespace tavrin
