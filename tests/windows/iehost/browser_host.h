#pragma once
// The browser's side of the Explorer Bar protocol, played around the unmodified Tavrin.dll: the
// DLL registered through its own exports, the band created by COM from its CLSID, a site with a
// frame window of its own that serves the main browser, and the WebBrowser double as both the
// main browser and the bar's view.

#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/gdi.h"
#include "web_browser_double_control.h"
#include "web_browser_double_registration.h"

#include <windows.h>
#include <exdisp.h>
#include <shlobj.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace iehost {

// The site a browser gives its bar: the pane window, focus notifications, and the main browser
// as a service of its command target.
class CBarSite : public IOleWindow,
                 public IInputObjectSite,
                 public IOleCommandTarget,
                 public IServiceProvider,
                 public tavrin::ComObjectRoot {
 public:
  static std::span<const tavrin::InterfaceEntry> Interfaces() noexcept;

  CBarSite(HWND pane, IWebBrowser2* browser) noexcept : m_hwndPane(pane), m_pBrowser(browser) {}

  STDMETHODIMP GetWindow(HWND* window) noexcept override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnFocusChangeIS(IUnknown* object, BOOL focus) noexcept override;
  STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) noexcept override {
    return OLECMDERR_E_UNKNOWNGROUP;
  }
  STDMETHODIMP Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) noexcept override {
    return OLECMDERR_E_UNKNOWNGROUP;
  }
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) noexcept override;

  // OnFocusChangeIS calls that told of focus gained.
  int FocusGained() const noexcept { return m_nFocusGained; }
  // The main browser is given back, as a browser does when its window closes.
  void ReleaseBrowser() noexcept { m_pBrowser.reset(); }

 private:
  HWND m_hwndPane;
  tavrin::ComPtr<IWebBrowser2> m_pBrowser;
  int m_nFocusGained = 0;
};

// One navigation a double was asked for.
struct Navigation {
  std::wstring url;
  bool cancelled = false;
};

class CBrowserHost {
 public:
  static constexpr int kPaneWidth = 480;
  static constexpr int kPaneHeight = 420;

  // Registers the double and the DLL, opens the frame and loads firstPage in the main browser.
  // Failed() tells what went wrong.
  CBrowserHost(const std::wstring& doubleDll, const std::wstring& bandDll,
               const std::wstring& firstPage);
  ~CBrowserHost();
  CBrowserHost(const CBrowserHost&) = delete;
  CBrowserHost& operator=(const CBrowserHost&) = delete;

  const std::string& Failed() const { return m_strFailure; }

  // The browser's calls, in its order: CoCreateInstance, SetSite, GetBandInfo, ShowDW(TRUE) and
  // the size of the pane.
  HRESULT OpenBar();
  // CloseDW, SetSite(NULL), the main browser's Quit (OnQuit), every reference given back.
  void CloseBar();
  // The browser's reference to the band goes, and nothing else.
  void ReleaseBand() noexcept { m_pBand.reset(); }

  // Runs the message loop until ready() holds, at most timeoutMs; false on timeout.
  static bool PumpUntil(const std::function<bool()>& ready, DWORD timeoutMs);
  static void Pump(DWORD milliseconds);

  // The main browser navigates; with waitForLoad, until it is no longer busy.
  void Navigate(const std::wstring& url, bool waitForLoad);

  IWebBrowser2* MainBrowser() const { return m_pMain.get(); }
  IWebBrowserDoubleControl* Main() const { return m_pMainControl.get(); }
  // The view's double, found among the live ones; null while the bar has none.
  tavrin::ComPtr<IWebBrowser2> ViewBrowser() const;
  tavrin::ComPtr<IWebBrowserDoubleControl> View() const;
  IDeskBand* Band() const { return m_pBand.get(); }
  CBarSite* Site() const { return m_pSite.get(); }
  HWND Frame() const { return m_frame.get(); }
  HWND Pane() const { return m_pane.get(); }
  UINT LiveDoubles() const;
  HMODULE DoubleModule() const { return m_hDoubleModule; }
  HMODULE BandModule() const { return m_bandModule.get(); }

  // The band object window and, below it, the control with this id.
  HWND BandObjectWindow() const;
  HWND Control(int id) const;

  // What the view shows: its address, and its body's markup as UTF-8.
  std::wstring ViewLocation() const;
  std::string ViewBody() const;
  // The href of the view's link at index; empty when there is none.
  std::wstring ViewLink(long index) const;

  // Toolbar state through its messages.
  bool ButtonEnabled(int command) const;
  bool ButtonChecked(int command) const;
  TBBUTTON ButtonAt(int index) const;
  // A click with the mouse on the button of this command.
  void Press(int command) const;

  static std::vector<Navigation> Navigations(IWebBrowserDoubleControl* browser);

 private:
  // What went wrong; empty when the browser stands.
  std::string Start(const std::wstring& firstPage);

  test_double_test::ScopedDoubleRegistration m_registration;
  tavrin::UniqueHmodule m_bandModule;
  HMODULE m_hDoubleModule = nullptr;
  std::string m_strFailure;
  tavrin::UniqueWindow m_frame;
  tavrin::UniqueWindow m_pane;
  tavrin::ComPtr<IWebBrowser2> m_pMain;
  tavrin::ComPtr<IWebBrowserDoubleControl> m_pMainControl;
  tavrin::ComPtr<tavrin::ComObject<CBarSite>> m_pSite;
  tavrin::ComPtr<IDeskBand> m_pBand;
};

// The HKEY_CURRENT_USER settings of the bar.
std::optional<DWORD> ReadSetting(const wchar_t* name);
void WriteSetting(const wchar_t* name, DWORD value);
void DeleteSettings();

}  // namespace iehost
