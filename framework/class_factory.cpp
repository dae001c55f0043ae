#include "framework/class_factory.h"

#include "framework/com_object.h"
#include "framework/module.h"

namespace tavrin {

STDMETHODIMP ClassFactory::QueryInterface(REFIID riid, void** ppv) noexcept {
  static const InterfaceEntry table[] = {InterfaceOf<ClassFactory, IClassFactory>()};
  return QueryInterfaceFromTable(this, table, riid, ppv);
}

// Interlocked: class objects may be handed to any apartment.
STDMETHODIMP_(ULONG) ClassFactory::AddRef() noexcept {
  ModuleLock();
  return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) ClassFactory::Release() noexcept {
  const LONG count = InterlockedDecrement(&m_cRef);
  ModuleUnlock();
  return static_cast<ULONG>(count);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
  return m_create(outer, riid, ppv);
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) noexcept {
  lock ? ModuleLock() : ModuleUnlock();
  return S_OK;
}

HRESULT GetClassObject(std::span<const ClassEntry> classes, REFCLSID rclsid, REFIID riid,
                       void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (const ClassEntry& entry : classes) {
    if (IsEqualCLSID(rclsid, *entry.clsid)) return entry.factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() noexcept {
  return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

}  // namespace tavrin
