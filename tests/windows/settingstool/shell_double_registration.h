#pragma once
// The shell-windows double as the prefix's CLSID_ShellWindows and "InternetExplorer.Application"
// while an object of this class lives, with the windows the test chooses; and its journal.

#include "framework/unique_any.h"
#include "shell_windows_double.h"

#include <windows.h>

#include <exdisp.h>

#include <cwchar>
#include <sstream>
#include <string>
#include <vector>

namespace settingstool_test {

inline std::wstring ReadString(HKEY root, const std::wstring& key, const wchar_t* name) {
  DWORD size = 0;
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, nullptr, &size) !=
      ERROR_SUCCESS)
    return {};
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text.data(), &size) !=
      ERROR_SUCCESS)
    return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

inline bool WriteString(HKEY root, const std::wstring& key, const wchar_t* name,
                        const std::wstring& value) {
  return RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A default value under HKLM set for the scope and put back afterwards (Wine's COM reads classes
// from the machine's key only). A value left behind by a run that died gives way to the fallback.
class CScopedMachineValue {
 public:
  CScopedMachineValue(std::wstring key, const std::wstring& value, const std::wstring& fallback)
      : m_key(std::move(key)), m_previous(ReadString(HKEY_LOCAL_MACHINE, m_key, nullptr)) {
    if (m_previous.empty() || m_previous == value) m_previous = fallback;
    m_set = WriteString(HKEY_LOCAL_MACHINE, m_key, nullptr, value);
  }
  CScopedMachineValue(const CScopedMachineValue&) = delete;
  CScopedMachineValue& operator=(const CScopedMachineValue&) = delete;
  ~CScopedMachineValue() {
    if (m_set) WriteString(HKEY_LOCAL_MACHINE, m_key, nullptr, m_previous);
  }
  bool Set() const { return m_set; }

 private:
  std::wstring m_key;
  std::wstring m_previous;
  bool m_set = false;
};

inline std::wstring ClassName(const CLSID& clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return text;
}

inline std::wstring ClassKey(const CLSID& clsid) {
  return L"Software\\Classes\\CLSID\\" + ClassName(clsid) + L"\\InprocServer32";
}

inline std::wstring DoubleDll() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder = path;
  folder.resize(folder.find_last_of(L'\\') + 1);
  return folder + L"..\\double\\shell-windows-double.dll";
}

class CShellDoubleRegistration {
 public:
  explicit CShellDoubleRegistration(const std::wstring& windows)
      : m_shellWindows(ClassKey(CLSID_ShellWindows), DoubleDll(),
                       L"C:\\windows\\system32\\ieframe.dll"),
        m_application(L"Software\\Classes\\InternetExplorer.Application\\CLSID",
                      ClassName(tavrin::test_double::kBrowserApplicationDoubleClsid),
                      L"{0002DF01-0000-0000-C000-000000000046}") {
    using namespace tavrin::test_double;
    const std::wstring applicationKey = ClassKey(kBrowserApplicationDoubleClsid);
    m_registered =
        m_shellWindows.Set() && m_application.Set() &&
        WriteString(HKEY_LOCAL_MACHINE, ClassKey(CLSID_ShellWindows), L"ThreadingModel",
                    L"Apartment") &&
        WriteString(HKEY_LOCAL_MACHINE, applicationKey, nullptr, DoubleDll()) &&
        WriteString(HKEY_LOCAL_MACHINE, applicationKey, L"ThreadingModel", L"Apartment") &&
        WriteString(HKEY_CURRENT_USER, kShellDoubleKey, kShellWindowsValue, windows) &&
        WriteString(HKEY_CURRENT_USER, kShellDoubleKey, kJournalValue, L"");
  }
  CShellDoubleRegistration(const CShellDoubleRegistration&) = delete;
  CShellDoubleRegistration& operator=(const CShellDoubleRegistration&) = delete;

  bool Registered() const { return m_registered; }

  static std::vector<std::wstring> Journal() {
    using namespace tavrin::test_double;
    std::wistringstream text(ReadString(HKEY_CURRENT_USER, kShellDoubleKey, kJournalValue));
    std::vector<std::wstring> lines;
    for (std::wstring line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

 private:
  CScopedMachineValue m_shellWindows;
  CScopedMachineValue m_application;
  bool m_registered = false;
};

}  // namespace settingstool_test
