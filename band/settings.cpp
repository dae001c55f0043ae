#include "band/settings.h"

#include "shared/registry.h"

namespace tavrin {

void CreateSettingsKey() {
  RegistryCreateKey(HKEY_CURRENT_USER, L"Software", L"Halvek");
  RegistryCreateKey(HKEY_CURRENT_USER, L"Software\\Halvek", L"Tavrin");
}

bool ReadSetting(const wchar_t* name) {
  DWORD value = 0;
  return RegistryGetDword(HKEY_CURRENT_USER, kSettingsKey, name, value) && value != 0;
}

void WriteSetting(const wchar_t* name, DWORD value) {
  RegistrySetDword(HKEY_CURRENT_USER, kSettingsKey, name, value);
}

}  // namespace tavrin
