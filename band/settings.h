#pragma once
// The band's per-user settings: DWORD values under one key of HKEY_CURRENT_USER.

#include <windows.h>

namespace tavrin {

inline constexpr wchar_t kSettingsKey[] = L"Software\\Halvek\\Tavrin";
inline constexpr wchar_t kDomainOnlyValue[] = L"DomainOnly";
inline constexpr wchar_t kAutoSyncValue[] = L"AutoSync";

// Creates the settings key (and its parent) if missing; failures are ignored.
void CreateSettingsKey();
// A missing or unreadable value is off; any non-zero content is on.
bool ReadSetting(const wchar_t* name);
// Needs the key to exist; a failed write is ignored.
void WriteSetting(const wchar_t* name, DWORD value);

}  // namespace tavrin
