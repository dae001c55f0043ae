#pragma once
// Self-registration of the band: the bodies of DllRegisterServer and DllUnregisterServer.

#include <windows.h>

namespace tavrin {

// The result of the registration script and the type library; the explicit writes around them
// do not change it.
HRESULT RegisterBand();
HRESULT UnregisterBand();

}  // namespace tavrin
