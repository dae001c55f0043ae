#pragma once
// The WebBrowser double as the prefix's WebBrowser control, for tests of code that creates the
// control itself.

#include <windows.h>

#include <cwchar>
#include <string>

namespace test_double_test {

// While it lives, the given webbrowser-double.dll is the prefix's WebBrowser control, for this
// process and every other; afterwards the previous server is back. Wine's COM reads classes from
// the machine's key only, not from the user's.
class ScopedDoubleRegistration {
 public:
  static constexpr wchar_t kDll[] = L"webbrowser-double.dll";

  explicit ScopedDoubleRegistration(const std::wstring& dll) {
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, nullptr,
                     &size) == ERROR_SUCCESS) {
      m_previous.resize(size / sizeof(wchar_t));
      if (RegGetValueW(HKEY_LOCAL_MACHINE, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr,
                       m_previous.data(), &size) != ERROR_SUCCESS) {
        return;
      }
      m_previous.resize(wcsnlen(m_previous.c_str(), m_previous.size()));
    }
    // A run that died while registered left the double there: Wine's own control comes back.
    if (m_previous.ends_with(kDll)) m_previous = kWineControl;
    m_registered = SetServer(dll);
  }
  ScopedDoubleRegistration(const ScopedDoubleRegistration&) = delete;
  ScopedDoubleRegistration& operator=(const ScopedDoubleRegistration&) = delete;
  ~ScopedDoubleRegistration() {
    if (m_registered) SetServer(m_previous);
  }

  bool Registered() const { return m_registered; }

 private:
  static constexpr wchar_t kWineControl[] = L"C:\\windows\\system32\\ieframe.dll";
  static constexpr wchar_t kServerKey[] =
      L"Software\\Classes\\CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";

  static bool SetServer(const std::wstring& path) {
    const auto set = [](const wchar_t* name, const std::wstring& value) {
      return RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServerKey, name, REG_SZ, value.c_str(),
                             static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
             ERROR_SUCCESS;
    };
    return set(nullptr, path) && set(L"ThreadingModel", L"Apartment");
  }

  std::wstring m_previous;
  bool m_registered = false;
};

}  // namespace test_double_test
