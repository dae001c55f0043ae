// failing-band.dll: a band DLL whose registration exports are refused, as without the rights to
// write the registry.

#include <windows.h>

STDAPI DllRegisterServer() {
  return E_ACCESSDENIED;
}
STDAPI DllUnregisterServer() {
  return E_ACCESSDENIED;
}
