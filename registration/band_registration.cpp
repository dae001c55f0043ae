#include "registration/band_registration.h"

#include "framework/hresult.h"
#include "framework/module.h"
#include "registration/registrar.h"
#include "registration/type_library.h"
#include "resources/resource.h"
#include "shared/registry.h"
#include "tavrin_idl.h"

#include <string>

namespace tavrin {
namespace {

// The category caches of the desk bands and of the info bands, which the bar joins; the shell
// rebuilds them and then lists the new bar.
constexpr const wchar_t* kCategoryCacheKeys[] = {
    L"Component Categories\\{00021492-0000-0000-C000-000000000046}\\Enum",
    L"Component Categories\\{00021493-0000-0000-C000-000000000046}\\Enum"};
constexpr wchar_t kCategoryCacheValue[] = L"Implementing";

void ClearCategoryCaches() {
  for (const wchar_t* cache : kCategoryCacheKeys)
    RegistryDeleteValue(HKEY_CLASSES_ROOT, cache, kCategoryCacheValue);
}

std::wstring BandClsid() {
  wchar_t text[39];
  StringFromGUID2(CLSID_TavrinBandsObject, text, static_cast<int>(std::size(text)));
  return text;
}

std::wstring ExtensionKey() {
  return L"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\" + BandClsid();
}

std::wstring IconValue(const std::wstring& path, long iconId) {
  return path + L',' + std::to_wstring(iconId);
}

HRESULT RegisterModule(const std::wstring& modulePath) {
  RETURN_IF_FAILED(RunRegistryScriptResource(IDR_TAVRIN_REGISTRY, true));
  return RegisterModuleTypeLib(modulePath);
}

HRESULT UnregisterModule(const std::wstring& modulePath) {
  RETURN_IF_FAILED(RunRegistryScriptResource(IDR_TAVRIN_REGISTRY, false));
  return UnregisterModuleTypeLib(modulePath);
}

}  // namespace

HRESULT RegisterBand() {
  try {
    ClearCategoryCaches();
    std::wstring path;
    GetModulePath(path);
    const HRESULT result = RegisterModule(path);

    // Explorer reads the server path long and the button icons short; these writes run even
    // when the module step failed, and their outcome is not reported.
    RegistrySetString(HKEY_CLASSES_ROOT, L"CLSID\\" + BandClsid() + L"\\InprocServer32", nullptr,
                      path);
    std::wstring shortPath;
    GetShortPath(path, shortPath);
    RegistrySetString(HKEY_LOCAL_MACHINE, ExtensionKey(), L"Icon",
                      IconValue(shortPath, IDI_TAVRIN_BUTTON));
    RegistrySetString(HKEY_LOCAL_MACHINE, ExtensionKey(), L"HotIcon",
                      IconValue(shortPath, IDI_TAVRIN_BUTTON_HOT));
    return result;
  }
  CATCH_RETURN();
}

HRESULT UnregisterBand() {
  try {
    ClearCategoryCaches();
    RegistryDeleteTree(HKEY_LOCAL_MACHINE, ExtensionKey());
    std::wstring path;
    GetModulePath(path);
    return UnregisterModule(path);
  }
  CATCH_RETURN();
}

}  // namespace tavrin
