#pragma once
// Closing the running browser windows through the shell's window collection, and asking a fresh,
// invisible browser to hide the bar, both through the platform's automation interfaces only.

#include <windows.h>

#include <string>

namespace tavrin {

// How long one call to a browser or the shell may stay unanswered before it is given up.
inline constexpr DWORD kBrowserCallTimeoutMs = 5000;

class CBrowserCloser {
 public:
  explicit CBrowserCloser(DWORD callTimeoutMs = kBrowserCallTimeoutMs) noexcept
      : m_callTimeoutMs(callTimeoutMs) {}

  // Hides and stops every window that shows an HTML page while the collection is enumerated, and
  // tells them to quit only afterwards; a window that does not answer in time is skipped. False
  // when the collection cannot be created, run or counted.
  bool CloseBrowsers() noexcept;

 private:
  DWORD m_callTimeoutMs;
};

// Starts the browser's automation object, hides the bar given by its CLSID in registry form, waits
// two seconds and tells the browser to quit. False when the object cannot be found or created.
bool HideBandInNewBrowser(const std::wstring& bandClsid,
                          DWORD callTimeoutMs = kBrowserCallTimeoutMs) noexcept;

}  // namespace tavrin
