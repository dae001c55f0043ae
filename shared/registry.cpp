#include "shared/registry.h"

#include "framework/module.h"

namespace tavrin {

UniqueHkey RegistryOpenKey(HKEY root, const std::wstring& path, REGSAM access, LSTATUS* error) {
  HKEY opened = nullptr;
  const LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, access, &opened);
  if (error) *error = status;
  // A failed open may leave anything in the out-parameter; it is never closed.
  return UniqueHkey(status == ERROR_SUCCESS ? opened : nullptr);
}

LSTATUS RegistryWriteString(HKEY key, const wchar_t* valueName, const std::wstring& text) {
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        bytes);
}

bool RegistryCreateKey(HKEY root, const std::wstring& parentPath, const std::wstring& name) {
  const UniqueHkey parent = RegistryOpenKey(root, parentPath, KEY_SET_VALUE | KEY_CREATE_SUB_KEY);
  if (!parent) return false;
  UniqueHkey key;
  return RegCreateKeyExW(parent.get(), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

bool RegistryDeleteValue(HKEY root, const std::wstring& path, const std::wstring& valueName) {
  const UniqueHkey key = RegistryOpenKey(root, path, KEY_SET_VALUE);
  return key && RegDeleteValueW(key.get(), valueName.c_str()) == ERROR_SUCCESS;
}

bool RegistryCollectSubkeys(HKEY root, const std::wstring& path, std::vector<std::wstring>& list) {
  const UniqueHkey key = RegistryOpenKey(root, path, KEY_ENUMERATE_SUB_KEYS);
  if (!key) return false;
  // Key names are at most 255 characters.
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(std::size(name));
    if (RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    std::wstring child = path + L'\\' + std::wstring(name, length);
    RegistryCollectSubkeys(root, child, list);
    list.push_back(std::move(child));
  }
  return true;
}

bool RegistryDeleteTree(HKEY root, const std::wstring& path) {
  std::vector<std::wstring> keys;
  if (!RegistryCollectSubkeys(root, path, keys)) return false;
  // A key that cannot be deleted stays; the others still go.
  for (const std::wstring& key : keys) RegDeleteKeyW(root, key.c_str());
  RegDeleteKeyW(root, path.c_str());
  return true;
}

bool RegistrySetDword(HKEY root, const std::wstring& path, const std::wstring& valueName,
                      DWORD value) {
  const UniqueHkey key = RegistryOpenKey(root, path, KEY_SET_VALUE);
  return key &&
         RegSetValueExW(key.get(), valueName.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&value), sizeof(value)) == ERROR_SUCCESS;
}

bool RegistryGetDword(HKEY root, const std::wstring& path, const std::wstring& valueName,
                      DWORD& value) {
  value = 0;
  const UniqueHkey key = RegistryOpenKey(root, path, KEY_QUERY_VALUE);
  if (!key) return false;
  // Only a REG_DWORD is a number: a REG_SZ "0" is four bytes too.
  DWORD type = REG_NONE;
  DWORD size = sizeof(value);
  if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
      type == REG_DWORD && size == sizeof(value)) {
    return true;
  }
  // A refused read may have written part of the data.
  value = 0;
  return false;
}

bool RegistrySetString(HKEY root, const std::wstring& path, const wchar_t* valueName,
                       const std::wstring& text) {
  const UniqueHkey key = RegistryOpenKey(root, path, KEY_SET_VALUE);
  return key && RegistryWriteString(key.get(), valueName, text) == ERROR_SUCCESS;
}

bool GetModulePath(std::wstring& path) {
  path = ModuleFileName();
  return !path.empty();
}

bool GetShortPath(const std::wstring& longPath, std::wstring& shortPath) {
  const DWORD size = GetShortPathNameW(longPath.c_str(), nullptr, 0);
  std::wstring result(size, L'\0');
  const DWORD length = size ? GetShortPathNameW(longPath.c_str(), result.data(), size) : 0;
  if (length == 0 || length >= size) {
    shortPath = longPath;
  } else {
    result.resize(length);
    shortPath = std::move(result);
  }
  return true;
}

}  // namespace tavrin
