#pragma once
// The band's HTML view: the browser container with the two commands the band's pages may send.

#include "browserview/web_browser_container.h"
#include "framework/unique_any.h"

namespace tavrin {

class CBandHtmlView : public CWebBrowser2ContainerWnd {
 public:
  // The hosted control, which the list is written into; null outside the window's life.
  IWebBrowser2* Browser() const noexcept { return m_pBrowser.get(); }

 protected:
  ~CBandHtmlView() override = default;
  // "Config": writes the DWORD value `first` = decimal `second` under the settings key.
  // "Exit": replaces the page body with the pending HTML, which is empty from then on.
  // TRUE for those two, FALSE for any other command (compared case-sensitively).
  BOOL OnCmdEvent(const std::wstring& command, const std::wstring& first,
                  const std::wstring& second) override;

 private:
  // Null until the first "Exit".
  UniqueBstr m_bstrPendingHtml;
};

}  // namespace tavrin
