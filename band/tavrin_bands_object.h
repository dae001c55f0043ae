#pragma once
// The band object: the COM object that the browser creates for the bar. It owns the band object
// window inside the site's window, hears the main browser's events and runs the page wait: a
// navigation starts one, the documents that complete are recorded, and a 2000 ms tick finishes it
// once the main browser is ready.

#include "band/band_window.h"
#include "browserview/web_browser_events.h"
#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/dispatch.h"
#include "framework/window.h"
#include "tavrin_idl.h"

#include <exdisp.h>
#include <shlobj.h>

namespace tavrin {

class TavrinBandsObject : public DispatchFromTypeLib<ITavrinBandsObject>,
                          public IDeskBand,
                          public IContextMenu,
                          public IInputObject,
                          public IObjectWithSite,
                          public IPersistStream,
                          public CWindowBase,
                          public CWebBrowserEventHandler,
                          public ComObjectRoot {
 public:
  // The window goes first, then the connection to the main browser.
  void FinalRelease() noexcept override;

  // QueryInterface looks them up in this order; IUnknown is the first entry.
  static std::span<const InterfaceEntry> Interfaces() noexcept;

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) noexcept override;
  STDMETHODIMP ContextSensitiveHelp(BOOL enterMode) noexcept override;
  // IDockingWindow
  STDMETHODIMP ShowDW(BOOL show) noexcept override;
  STDMETHODIMP CloseDW(DWORD reserved) noexcept override;
  STDMETHODIMP ResizeBorderDW(LPCRECT border, IUnknown* site, BOOL reserved) noexcept override;
  // IDeskBand
  STDMETHODIMP GetBandInfo(DWORD bandId, DWORD viewMode, DESKBANDINFO* info) noexcept override;

  // IContextMenu: the band adds nothing to the bar's menu.
  STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstCommand, UINT lastCommand,
                                UINT flags) noexcept override;
  STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) noexcept override;
  STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT* reserved, LPSTR name,
                                UINT size) noexcept override;

  // IInputObject
  STDMETHODIMP UIActivateIO(BOOL activate, MSG* message) noexcept override;
  STDMETHODIMP HasFocusIO() noexcept override;
  STDMETHODIMP TranslateAcceleratorIO(MSG* message) noexcept override;

  // IObjectWithSite
  STDMETHODIMP SetSite(IUnknown* site) noexcept override;
  STDMETHODIMP GetSite(REFIID riid, void** ppv) noexcept override;

  // IPersistStream: the settings live in the registry, the stream holds nothing and is never dirty.
  STDMETHODIMP GetClassID(CLSID* clsid) noexcept override;
  STDMETHODIMP IsDirty() noexcept override;
  STDMETHODIMP Load(IStream* stream) noexcept override;
  STDMETHODIMP Save(IStream* stream, BOOL clearDirty) noexcept override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) noexcept override;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The main browser's events, any frame's alike.
  void BeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                       VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel) override;
  void NavigateComplete2(IDispatch* pDisp, VARIANT* url) override;
  void DocumentComplete(IDispatch* pDisp, VARIANT* url) override;
  void OnQuit() override;

 private:
  // Everything that came from a site goes with it: the window, the connection and the browser
  // the band window uses.
  void LeaveSite() noexcept;
  // Held for the length of every event and message: what they run (a list build lets page script
  // run) may close the bar and let the last outside reference go.
  ComPtr<IDeskBand> KeepAlive() noexcept { return ComPtr<IDeskBand>(this); }
  void CreateBandObjectWindow() noexcept;
  LRESULT OnCreate() noexcept;
  // Only with the band window there, and only when none is running.
  void StartPageWait() noexcept;
  void OnPageWaitTick() noexcept;
  void ArmPageWaitTimer() noexcept;

  ComPtr<IInputObjectSite> m_pSite;
  ComPtr<IWebBrowser2> m_pBrowser;
  HWND m_hwndParent = nullptr;
  CWebBrowserEventConnection m_events;
  UINT_PTR m_uPageWaitTimer = 0;
  BOOL m_bShown = FALSE;
  CWindow<CBandWindow> m_wndBand;
  BOOL m_bHasFocus = FALSE;
};

}  // namespace tavrin
