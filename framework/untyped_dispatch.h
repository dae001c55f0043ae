#pragma once
// IDispatch for objects that bind their members themselves and offer no type information.

#include <oaidl.h>

namespace tavrin {

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
