#pragma once
// Class objects: one generic, statically allocated class factory per entry of the module's table.

#include <unknwn.h>

#include <span>

namespace tavrin {

using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv) noexcept;

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateInstanceFunction create) noexcept : m_create(create) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override;
  // Every outstanding reference keeps the module loaded; the object itself is never freed.
  STDMETHODIMP_(ULONG) AddRef() noexcept override;
  STDMETHODIMP_(ULONG) Release() noexcept override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept override;
  STDMETHODIMP LockServer(BOOL lock) noexcept override;

 private:
  CreateInstanceFunction m_create;
  LONG m_cRef = 0;
};

struct ClassEntry {
  const CLSID* clsid;
  ClassFactory* factory;
};

// The body of DllGetClassObject.
HRESULT GetClassObject(std::span<const ClassEntry> classes, REFCLSID rclsid, REFIID riid,
                       void** ppv) noexcept;

// The body of DllCanUnloadNow.
HRESULT CanUnloadNow() noexcept;

}  // namespace tavrin
