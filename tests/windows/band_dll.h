#pragma once
// The built DLL, loaded as a COM client or regsvr32 loads it, with its four exports.

#include "framework/unique_any.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

inline std::wstring DistDll(const wchar_t* arch) {
  return std::wstring(TAVRIN_DIST_DIR) + L"\\" + arch + L"\\Tavrin.dll";
}

class BandDll {
 public:
  explicit BandDll(const std::wstring& path = DistDll(TAVRIN_DIST_ARCH))
      : m_module(LoadLibraryW(path.c_str())) {
    EXPECT_TRUE(m_module) << "cannot load the DLL, error " << GetLastError();
  }

  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
    return Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject")(
        clsid, riid, ppv);
  }
  HRESULT CanUnloadNow() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow")(); }
  HRESULT Register() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer")(); }
  HRESULT Unregister() const { return Export<HRESULT(STDAPICALLTYPE*)()>("DllUnregisterServer")(); }

 private:
  template <class Function>
  Function Export(const char* name) const {
    const FARPROC address = m_module ? GetProcAddress(m_module.get(), name) : nullptr;
    if (!address) throw std::runtime_error(std::string("missing export ") + name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
  }

  tavrin::UniqueHmodule m_module;
};
