#pragma once
// A child window that hosts the WebBrowser control and acts as its MSHTML host: it chooses the
// border and scroll bars, filters menus and keys, gives pages a script object (window.external),
// and turns the control's events into virtual calls.

#include "browserview/web_browser_events.h"
#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/ole_control_host.h"
#include "framework/window.h"

#include <exdisp.h>

#include <span>
#include <string>
#include <vector>

namespace tavrin {

// window.external, the UI handler and the document-event sink are one small COM object of the
// window's: a document or script engine may keep it past the window's life, and once the window
// is destroyed it answers E_UNEXPECTED.
//
// The control's events reach the handler set with SetEventHandler through a sink of their own;
// the window hears them through another sink, as its own handler, for what it needs itself.
class CWebBrowser2ContainerWnd : public CWindowBase, protected CWebBrowserEventHandler {
 public:
  struct CreateArgs {
    HWND parent = nullptr;
    DWORD style = 0;
    RECT rect{};
    UINT_PTR id = 0;
    // Virtual-key codes the view swallows.
    std::vector<DWORD> blockedKeys{};
    // TRUE: the page gets (flat) scroll bars.
    BOOL scrollBars = FALSE;
    // TRUE: connect to the document's HTMLDocumentEvents after every navigation.
    BOOL documentEvents = FALSE;
  };

  CWebBrowser2ContainerWnd() noexcept;

  // Null when the window or its control cannot be created.
  HWND Create(CreateArgs args) noexcept;
  // Not owned; null swallows the control's events.
  BOOL SetEventHandler(CWebBrowserEventHandler* handler) noexcept;

  BOOL Navigate(const std::wstring& url) noexcept;
  BOOL InstallUIHandler() noexcept;
  BOOL ConnectDocumentEvents() noexcept;
  BOOL DisconnectDocumentEvents() noexcept;
  // Cancels the default action of the document's current event; with a tag only when the
  // event's source element has that tag name (case ignored).
  BOOL CancelCurrentEvent(const wchar_t* tag) noexcept;
  // TRUE when the message was consumed.
  virtual BOOL PreTranslateMessage(MSG* msg) noexcept;

 protected:
  ~CWebBrowser2ContainerWnd() override;
  // Script commands from window.external; their results are dropped.
  virtual BOOL OnCmdExecute(const std::wstring& command, const std::wstring& first,
                            const std::wstring& second);
  virtual BOOL OnCmdEvent(const std::wstring& command, const std::wstring& first,
                          const std::wstring& second);
  virtual BOOL OnCmdNavigate(const std::wstring& url);

  // HTMLDocumentEvents, while connected; also callable from script by name.
  virtual VARIANT_BOOL OnHelp();
  virtual VARIANT_BOOL OnClick();
  virtual VARIANT_BOOL OnDblClick();
  virtual HRESULT OnKeyDown();
  virtual HRESULT OnKeyUp();
  virtual VARIANT_BOOL OnKeyPress();
  virtual HRESULT OnMouseDown();
  virtual HRESULT OnMouseMove();
  virtual HRESULT OnMouseUp();
  virtual HRESULT OnMouseOut();
  virtual HRESULT OnMouseOver();
  virtual HRESULT OnReadyStateChange();
  virtual VARIANT_BOOL OnBeforeUpdate();
  virtual HRESULT OnAfterUpdate();
  virtual VARIANT_BOOL OnRowExit();
  virtual HRESULT OnRowEnter();
  // Blocks dragging and text selection.
  virtual VARIANT_BOOL OnDragStart();
  virtual VARIANT_BOOL OnSelectStart();
  virtual VARIANT_BOOL OnErrorUpdate();

  // Every completed navigation (any frame) reinstalls the UI handler on the top document.
  void NavigateComplete2(IDispatch* pDisp, VARIANT* url) override;

  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The document of m_pBrowser as interface I; empty when there is none or it lacks I.
  template <class I>
  ComPtr<I> Document() const noexcept {
    ComPtr<IDispatch> document;
    if (!m_pBrowser || FAILED(m_pBrowser->get_Document(document.put()))) return {};
    return document.try_query<I>();
  }

  // The hosted control; empty before creation and after destruction.
  ComPtr<IWebBrowser2> m_pBrowser;

 private:
  class CHostObject;
  struct ScriptMember;
  static std::span<const ScriptMember> ScriptMembers() noexcept;

  LRESULT OnCreate() noexcept;
  void OnDestroy() noexcept;

  std::vector<DWORD> m_arrBlockedKeys;
  BOOL m_bScrollBars = FALSE;
  BOOL m_bDocumentEvents = FALSE;
  CWindow<COleControlHost> m_wndBrowser;
  // What MSHTML and pages hold; from WM_CREATE to WM_DESTROY.
  ComPtr<ComObject<CHostObject>> m_pHostObject;
  ComPtr<IConnectionPoint> m_pDocEventsPoint;
  DWORD m_dwDocEventsCookie = 0;
  BOOL m_bAllowContextMenu = FALSE;

  // Not owned.
  CWebBrowserEventHandler* m_pEventHandler = nullptr;
  CWebBrowserEventConnection m_ownEvents;
  CWebBrowserEventConnection m_handlerEvents;
};

// FALSE (ready) when the load has ended: ReadyState complete, or loading with Busy false. A
// browser that cannot tell counts as busy, so the caller keeps polling.
BOOL IsBrowserBusy(IWebBrowser2* browser) noexcept;

}  // namespace tavrin
