#pragma once
// Registry helpers: each call opens the key it needs, does one thing and closes it again. They
// return true (1) on success and false (0) on failure and never pass the system's error on.
// Paths are relative to a predefined root, subkeys separated by backslashes.

#include "framework/unique_any.h"

#include <windows.h>

#include <string>
#include <vector>

namespace tavrin {

// The one way keys are opened; empty on failure, the system's error then in *error.
UniqueHkey RegistryOpenKey(HKEY root, const std::wstring& path, REGSAM access,
                           LSTATUS* error = nullptr);
// Writes a REG_SZ value into an open key (null valueName: the default value).
LSTATUS RegistryWriteString(HKEY key, const wchar_t* valueName, const std::wstring& text);

// Creates (or opens) parentPath\name; the parent must exist.
bool RegistryCreateKey(HKEY root, const std::wstring& parentPath, const std::wstring& name);
bool RegistryDeleteValue(HKEY root, const std::wstring& path, const std::wstring& valueName);
// Deletes the key and everything below it, deepest first; false only when the key cannot be listed.
bool RegistryDeleteTree(HKEY root, const std::wstring& path);
// Appends every key below path, each after all of its own descendants.
bool RegistryCollectSubkeys(HKEY root, const std::wstring& path, std::vector<std::wstring>& list);
// The key must exist: writing never creates it.
bool RegistrySetDword(HKEY root, const std::wstring& path, const std::wstring& valueName,
                      DWORD value);
// value is 0 unless the read succeeds; only a REG_DWORD (four bytes) is read, any other type refused.
bool RegistryGetDword(HKEY root, const std::wstring& path, const std::wstring& valueName,
                      DWORD& value);
// A null valueName writes the key's default value.
bool RegistrySetString(HKEY root, const std::wstring& path, const wchar_t* valueName,
                       const std::wstring& text);

// The full path of the module holding this code (the DLL, not the process that loaded it).
bool GetModulePath(std::wstring& path);
// The 8.3 form of an existing path; the path itself when the file system has no short form.
bool GetShortPath(const std::wstring& longPath, std::wstring& shortPath);

}  // namespace tavrin
