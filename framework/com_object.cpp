#include "framework/com_object.h"

namespace tavrin {

HRESULT QueryInterfaceFromTable(void* object, std::span<const InterfaceEntry> table, REFIID riid,
                                void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (table.empty()) return E_NOINTERFACE;
  if (IsEqualIID(riid, IID_IUnknown)) {
    *ppv = table.front().cast(object);
  } else {
    for (const InterfaceEntry& entry : table) {
      if (IsEqualIID(riid, *entry.iid)) {
        *ppv = entry.cast(object);
        break;
      }
    }
  }
  if (!*ppv) return E_NOINTERFACE;
  static_cast<IUnknown*>(*ppv)->AddRef();
  return S_OK;
}

}  // namespace tavrin
