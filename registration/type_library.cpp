#include "registration/type_library.h"

#include "framework/com_ptr.h"
#include "framework/hresult.h"
#include "framework/unique_any.h"

#include <oleauto.h>

namespace tavrin {

HRESULT RegisterModuleTypeLib(const std::wstring& modulePath) {
  ComPtr<ITypeLib> library;
  RETURN_IF_FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.put()));
  std::wstring path = modulePath;  // the system's signature takes a mutable string
  return RegisterTypeLib(library.get(), path.data(), nullptr);
}

HRESULT UnregisterModuleTypeLib(const std::wstring& modulePath) {
  using UnRegisterTypeLibFunction = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
  const UniqueHmodule oleaut(LoadLibraryW(L"oleaut32.dll"));
  const auto unregister =
      oleaut ? reinterpret_cast<UnRegisterTypeLibFunction>(
                   reinterpret_cast<void*>(GetProcAddress(oleaut.get(), "UnRegisterTypeLib")))
             : nullptr;
  if (!unregister) return S_OK;

  ComPtr<ITypeLib> library;
  RETURN_IF_FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.put()));
  TLIBATTR* attributes = nullptr;
  RETURN_IF_FAILED(library->GetLibAttr(&attributes));
  const TLIBATTR copy = *attributes;
  library->ReleaseTLibAttr(attributes);

  // Unregistering what is not registered succeeds: the system would report a failure for it.
  UniqueBstr registeredPath;
  if (FAILED(QueryPathOfRegTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid,
                                   registeredPath.put()))) {
    return S_OK;
  }
  return unregister(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

}  // namespace tavrin
