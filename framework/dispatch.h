#pragma once
// IDispatch of a dual interface, served from the type library embedded in this module, and for
// objects that bind their members themselves and offer no type information.

#include "framework/com_ptr.h"
#include "framework/hresult.h"

#include <oaidl.h>

namespace tavrin {

// The type information of interface riid from the module's own type library (resource 1), which
// is loaded once and then kept. Reading it from the module rather than from the registry keeps
// dispatch working whatever version the registry points at.
HRESULT ModuleTypeInfo(REFIID riid, ITypeInfo** info) noexcept;

template <class DualInterface>
class DispatchFromTypeLib : public DualInterface {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }

  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return ModuleTypeInfo(__uuidof(DualInterface), info);
  }

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    RETURN_IF_FAILED(ModuleTypeInfo(__uuidof(DualInterface), info.put()));
    return DispGetIDsOfNames(info.get(), names, count, ids);
  }

  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) noexcept override {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    ComPtr<ITypeInfo> info;
    RETURN_IF_FAILED(ModuleTypeInfo(__uuidof(DualInterface), info.put()));
    return DispInvoke(static_cast<DualInterface*>(this), info.get(), id, flags, params, result,
                      exception, argError);
  }
};

class UntypedDispatch : public IDispatch {
 public:
  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override {
    if (!info) return E_POINTER;
    *info = nullptr;
    return DISP_E_BADINDEX;
  }
};

}  // namespace tavrin
