#pragma once
// A scratch key under HKEY_CURRENT_USER, removed before and after each test, and readers that use
// the system directly so that they do not depend on the code under test.

#include "framework/unique_any.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>

class ScratchKey : public testing::Test {
 protected:
  static constexpr wchar_t kRoot[] = L"Software\\TavrinTest";

  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kRoot); }

  static std::wstring Path(const std::wstring& below) {
    return std::wstring(kRoot) + L"\\" + below;
  }

  static void MakeKey(const std::wstring& path) {
    tavrin::UniqueHkey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
  }

  // view: KEY_WOW64_32KEY or KEY_WOW64_64KEY for that registry view, 0 for the caller's own.
  static bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0) {
    tavrin::UniqueHkey key;
    return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS;
  }

  static void SetRaw(const std::wstring& path, const wchar_t* name, DWORD type, const void* data,
                     DWORD size) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, type, data, size),
              ERROR_SUCCESS);
  }

  // The REG_SZ text of a value, nullopt when it is missing or of another type.
  static std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path,
                                                const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
      return std::nullopt;
    }
    std::wstring text(size / sizeof(wchar_t), L'\0');
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
        ERROR_SUCCESS) {
      return std::nullopt;
    }
    text.resize(wcsnlen(text.c_str(), text.size()));
    return text;
  }
};
