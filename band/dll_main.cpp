// Entry points of Tavrin.dll; the .def file exports them under their plain names.

#include "band/tavrin_bands_object.h"
#include "framework/class_factory.h"
#include "registration/band_registration.h"

using namespace tavrin;

namespace {

ClassFactory g_bandFactory{&CreateComObject<tavrin::TavrinBandsObject>};
const ClassEntry g_classes[] = {{&CLSID_TavrinBandsObject, &g_bandFactory}};

}  // namespace

// OLE is not initialised here: the browser's thread already is, and COM calls under the loader
// lock can deadlock.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return GetClassObject(g_classes, rclsid, riid, ppv);
}
STDAPI DllCanUnloadNow() {
  return CanUnloadNow();
}
STDAPI DllRegisterServer() {
  return RegisterBand();
}
STDAPI DllUnregisterServer() {
  return UnregisterBand();
}
