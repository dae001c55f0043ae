// Must not compile: RETURN_IF_FAILED refuses what is not an HRESULT (CTest reads the message).
#include "framework/hresult.h"

HRESULT SetsTheTitle(HWND window) {
  RETURN_IF_FAILED(SetWindowTextW(window, L"title"));
  return S_OK;
}
