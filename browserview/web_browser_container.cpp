#include "browserview/web_browser_container.h"

#include "browserview/ascii_case.h"
#include "browserview/web_browser_constants.h"
#include "framework/unique_any.h"
#include "framework/dispatch.h"

#include <mshtmdid.h>
#include <mshtmhst.h>
#include <mshtml.h>

#include <algorithm>
#include <array>

namespace tavrin {

struct CWebBrowser2ContainerWnd::ScriptMember {
  const wchar_t* name;
  DISPID id;
  HRESULT(*invoke)
  (CWebBrowser2ContainerWnd& window, WORD flags, const DISPPARAMS& params, VARIANT* result);
};

namespace {

using Window = CWebBrowser2ContainerWnd;

void SetResult(VARIANT* result, VARIANT_BOOL value) noexcept {
  if (!result) return;
  VariantInit(result);
  V_VT(result) = VT_BOOL;
  V_BOOL(result) = value;
}

void SetResult(VARIANT* result, HRESULT value) noexcept {
  if (!result) return;
  VariantInit(result);
  V_VT(result) = VT_ERROR;
  V_ERROR(result) = value;
}

// Each argument's string value, in the order the page wrote them.
template <size_t N>
HRESULT StringArguments(const DISPPARAMS& params, std::array<std::wstring, N>& texts) {
  if (params.cArgs != N) return DISP_E_BADPARAMCOUNT;
  for (size_t i = 0; i < N; ++i) {
    UniqueVariant text;
    RETURN_IF_FAILED(VariantChangeType(text.put(), &params.rgvarg[N - 1 - i], 0, VT_BSTR));
    texts[i].assign(V_BSTR(&text.get()), SysStringLen(V_BSTR(&text.get())));
  }
  return S_OK;
}

// A script command: its arguments read as strings; the handler's result is dropped.
template <size_t N, class Call>
HRESULT InvokeCommand(const DISPPARAMS& params, VARIANT* result, Call call) {
  std::array<std::wstring, N> args;
  RETURN_IF_FAILED(StringArguments(params, args));
  call(args);
  SetResult(result, S_OK);
  return S_OK;
}

}  // namespace

// Its own lifetime: MSHTML and scripts may hold it as long as they like. Cut off from the window
// when the window is destroyed, it then answers E_UNEXPECTED.
class CWebBrowser2ContainerWnd::CHostObject : public UntypedDispatch,
                                              public IDocHostUIHandler,
                                              public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    using T = CHostObject;
    constexpr auto asDispatch = [](void* object) -> IUnknown* {
      return static_cast<IDispatch*>(static_cast<T*>(object));
    };
    static const InterfaceEntry table[] = {
        InterfaceOf<T, IDispatch>(),
        {&kContainerDispatchIid, asDispatch},
        InterfaceOf<T, IDocHostUIHandler>(),
        {&__uuidof(HTMLDocumentEvents), asDispatch},
    };
    return table;
  }

  explicit CHostObject(Window& window) noexcept : m_pWindow(&window) {}
  void CutOff() noexcept { m_pWindow = nullptr; }

  // IDispatch: the script surface, by name, and the document events, by their ids.
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override {
    if (!m_pWindow) return E_UNEXPECTED;
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    if (count == 0) return S_OK;
    HRESULT hr = S_OK;
    ids[0] = DISPID_UNKNOWN;
    for (const ScriptMember& member : ScriptMembers()) {
      if (names[0] && EqualsIgnoringAsciiCase(names[0], member.name))
        ids[0] = member.id;
    }
    if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    // The members take no named arguments.
    for (UINT i = 1; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO*, UINT*) noexcept override {
    if (!m_pWindow) return E_UNEXPECTED;
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    const auto members = ScriptMembers();
    const auto member = std::find_if(members.begin(), members.end(),
                                     [id](const ScriptMember& m) { return m.id == id; });
    if (member == members.end()) return DISP_E_MEMBERNOTFOUND;
    static const DISPPARAMS kNoArguments{};
    const DISPPARAMS& args = params ? *params : kNoArguments;
    if (args.cArgs > 0 && !args.rgvarg) return E_INVALIDARG;
    try {
      return member->invoke(*m_pWindow, flags, args, result);
    }
    CATCH_RETURN();
  }

  // IDocHostUIHandler
  STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) noexcept override {
    if (!m_pWindow) return E_UNEXPECTED;
    // S_FALSE lets the browser show its own menu; S_OK shows none.
    return m_pWindow->m_bAllowContextMenu ? S_FALSE : S_OK;
  }
  STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) noexcept override {
    if (!m_pWindow) return E_UNEXPECTED;
    if (!info) return E_POINTER;
    info->dwFlags = m_pWindow->m_bScrollBars ? DOCHOSTUIFLAG_NO3DBORDER
                                             : DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_SCROLL_NO;
    info->dwFlags |= DOCHOSTUIFLAG_FLAT_SCROLLBAR;
    info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                      IOleInPlaceUIWindow*) noexcept override {
    return WhileLive(E_NOTIMPL);
  }
  STDMETHODIMP HideUI() noexcept override { return WhileLive(E_NOTIMPL); }
  STDMETHODIMP UpdateUI() noexcept override { return WhileLive(S_FALSE); }
  STDMETHODIMP EnableModeless(BOOL) noexcept override { return WhileLive(E_NOTIMPL); }
  STDMETHODIMP OnDocWindowActivate(BOOL) noexcept override { return WhileLive(E_NOTIMPL); }
  STDMETHODIMP OnFrameWindowActivate(BOOL) noexcept override { return WhileLive(E_NOTIMPL); }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override {
    return WhileLive(E_NOTIMPL);
  }
  // S_OK swallows the key; E_NOTIMPL leaves it to the browser.
  STDMETHODIMP TranslateAccelerator(LPMSG msg, const GUID*, DWORD) noexcept override {
    if (!m_pWindow) return E_UNEXPECTED;
    if (!msg || msg->message == WM_CHAR) return E_NOTIMPL;
    // Ctrl+N would open a browser window of its own.
    if (GetKeyState(VK_CONTROL) < 0 && msg->wParam == 'N') return S_OK;
    const auto& blocked = m_pWindow->m_arrBlockedKeys;
    return std::find(blocked.begin(), blocked.end(), msg->wParam) != blocked.end() ? S_OK
                                                                                   : E_NOTIMPL;
  }
  STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) noexcept override {
    return WhileLive(E_NOTIMPL, key);
  }
  STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** replacement) noexcept override {
    return WhileLive(E_NOTIMPL, replacement);
  }
  STDMETHODIMP GetExternal(IDispatch** external) noexcept override {
    if (!external) return E_POINTER;
    *external = nullptr;
    if (!m_pWindow) return E_UNEXPECTED;
    return ComPtr<IDispatch>(this).copy_to(external);
  }
  STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* urlOut) noexcept override {
    return WhileLive(E_NOTIMPL, urlOut);
  }
  STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** replacement) noexcept override {
    return WhileLive(E_NOTIMPL, replacement);
  }

 private:
  // What a method that does nothing answers; its out-parameter is null either way.
  template <class... Out>
  HRESULT WhileLive(HRESULT answer, Out**... out) const noexcept {
    (Clear(out), ...);
    return m_pWindow ? answer : E_UNEXPECTED;
  }
  template <class T>
  static void Clear(T** out) noexcept {
    if (out) *out = nullptr;
  }

  Window* m_pWindow;
};

std::span<const CWebBrowser2ContainerWnd::ScriptMember>
CWebBrowser2ContainerWnd::ScriptMembers() noexcept {
  // Defined here, inside the class, so that the entries may call its protected handlers.
#define TAVRIN_DOCUMENT_EVENT(name, id, handler)                             \
  {                                                                          \
    name, static_cast<DISPID>(id),                                           \
        [](Window& w, WORD, const DISPPARAMS&, VARIANT* result) -> HRESULT { \
          SetResult(result, w.handler());                                    \
          return S_OK;                                                       \
        }                                                                    \
  }
  static const ScriptMember members[] = {
      {L"AllowContextMenu", kDispidAllowContextMenu,
       [](Window& w, WORD flags, const DISPPARAMS& params, VARIANT* result) -> HRESULT {
         if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
           if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
           UniqueVariant value;
           RETURN_IF_FAILED(VariantChangeType(value.put(), &params.rgvarg[0], 0, VT_BOOL));
           w.m_bAllowContextMenu = V_BOOL(&value.get()) != VARIANT_FALSE;
           return S_OK;
         }
         SetResult(result, w.m_bAllowContextMenu ? VARIANT_TRUE : VARIANT_FALSE);
         return S_OK;
       }},
      {L"CmdExecute", kDispidCmdExecute,
       [](Window& w, WORD, const DISPPARAMS& params, VARIANT* result) {
         return InvokeCommand<3>(params, result,
                                 [&w](auto& a) { w.OnCmdExecute(a[0], a[1], a[2]); });
       }},
      {L"CmdEvent", kDispidCmdEvent,
       [](Window& w, WORD, const DISPPARAMS& params, VARIANT* result) {
         return InvokeCommand<3>(params, result, [&w](auto& a) { w.OnCmdEvent(a[0], a[1], a[2]); });
       }},
      {L"CmdNavigate", kDispidCmdNavigate,
       [](Window& w, WORD, const DISPPARAMS& params, VARIANT* result) {
         return InvokeCommand<1>(params, result, [&w](auto& a) { w.OnCmdNavigate(a[0]); });
       }},
      TAVRIN_DOCUMENT_EVENT(L"onhelp", DISPID_HTMLDOCUMENTEVENTS_ONHELP, OnHelp),
      TAVRIN_DOCUMENT_EVENT(L"onclick", DISPID_HTMLDOCUMENTEVENTS_ONCLICK, OnClick),
      TAVRIN_DOCUMENT_EVENT(L"ondblclick", DISPID_HTMLDOCUMENTEVENTS_ONDBLCLICK, OnDblClick),
      TAVRIN_DOCUMENT_EVENT(L"onkeydown", DISPID_HTMLDOCUMENTEVENTS_ONKEYDOWN, OnKeyDown),
      TAVRIN_DOCUMENT_EVENT(L"onkeyup", DISPID_HTMLDOCUMENTEVENTS_ONKEYUP, OnKeyUp),
      TAVRIN_DOCUMENT_EVENT(L"onkeypress", DISPID_HTMLDOCUMENTEVENTS_ONKEYPRESS, OnKeyPress),
      TAVRIN_DOCUMENT_EVENT(L"onmousedown", DISPID_HTMLDOCUMENTEVENTS_ONMOUSEDOWN, OnMouseDown),
      TAVRIN_DOCUMENT_EVENT(L"onmousemove", DISPID_HTMLDOCUMENTEVENTS_ONMOUSEMOVE, OnMouseMove),
      TAVRIN_DOCUMENT_EVENT(L"onmouseup", DISPID_HTMLDOCUMENTEVENTS_ONMOUSEUP, OnMouseUp),
      TAVRIN_DOCUMENT_EVENT(L"onmouseout", DISPID_HTMLDOCUMENTEVENTS_ONMOUSEOUT, OnMouseOut),
      TAVRIN_DOCUMENT_EVENT(L"onmouseover", DISPID_HTMLDOCUMENTEVENTS_ONMOUSEOVER, OnMouseOver),
      TAVRIN_DOCUMENT_EVENT(L"onreadystatechange", DISPID_HTMLDOCUMENTEVENTS_ONREADYSTATECHANGE,
                            OnReadyStateChange),
      TAVRIN_DOCUMENT_EVENT(L"onbeforeupdate", DISPID_HTMLDOCUMENTEVENTS_ONBEFOREUPDATE,
                            OnBeforeUpdate),
      TAVRIN_DOCUMENT_EVENT(L"onafterupdate", DISPID_HTMLDOCUMENTEVENTS_ONAFTERUPDATE,
                            OnAfterUpdate),
      TAVRIN_DOCUMENT_EVENT(L"onrowexit", DISPID_HTMLDOCUMENTEVENTS_ONROWEXIT, OnRowExit),
      TAVRIN_DOCUMENT_EVENT(L"onrowenter", DISPID_HTMLDOCUMENTEVENTS_ONROWENTER, OnRowEnter),
      TAVRIN_DOCUMENT_EVENT(L"ondragstart", DISPID_HTMLDOCUMENTEVENTS_ONDRAGSTART, OnDragStart),
      TAVRIN_DOCUMENT_EVENT(L"onselectstart", DISPID_HTMLDOCUMENTEVENTS_ONSELECTSTART,
                            OnSelectStart),
      TAVRIN_DOCUMENT_EVENT(L"onerrorupdate", DISPID_HTMLDOCUMENTEVENTS_ONERRORUPDATE,
                            OnErrorUpdate),
  };
#undef TAVRIN_DOCUMENT_EVENT
  return members;
}

CWebBrowser2ContainerWnd::CWebBrowser2ContainerWnd() noexcept = default;

CWebBrowser2ContainerWnd::~CWebBrowser2ContainerWnd() = default;

HWND CWebBrowser2ContainerWnd::Create(CreateArgs args) noexcept {
  m_arrBlockedKeys = std::move(args.blockedKeys);
  m_bScrollBars = args.scrollBars;
  m_bDocumentEvents = args.documentEvents;
  return CWindowBase::Create({.className = L"TavrinBrowserContainer",
                              .cursor = nullptr,
                              .parent = args.parent,
                              .style = args.style,
                              .rect = args.rect,
                              .id = args.id});
}

BOOL CWebBrowser2ContainerWnd::SetEventHandler(CWebBrowserEventHandler* handler) noexcept {
  m_pEventHandler = handler;
  m_handlerEvents.SetHandler(handler);
  return TRUE;
}

std::optional<LRESULT> CWebBrowser2ContainerWnd::HandleMessage(UINT message, WPARAM,
                                                               LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_DESTROY:
      OnDestroy();
      return std::nullopt;
    case WM_SIZE:
      if (m_wndBrowser.Handle())
        MoveWindow(m_wndBrowser.Handle(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETFOCUS:
      if (m_wndBrowser.Handle()) SetFocus(m_wndBrowser.Handle());
      return 0;
    default:
      return std::nullopt;
  }
}

LRESULT CWebBrowser2ContainerWnd::OnCreate() noexcept {
  m_pHostObject = MakeComObject<CHostObject>(*this);
  if (!m_pHostObject) return -1;
  if (FAILED(m_wndBrowser.Create(CLSID_WebBrowser, Handle(), WS_CHILD | WS_VISIBLE, RECT{},
                                 kBrowserPaneId, m_pHostObject.get()))) {
    return -1;
  }
  m_pBrowser = m_wndBrowser.Control().try_query<IWebBrowser2>();
  if (!m_pBrowser) {
    m_wndBrowser.Destroy();
    return -1;
  }
  // The window's own sink first: it sees each event before the handler does.
  m_ownEvents.Connect(m_wndBrowser.Control(), this);
  m_handlerEvents.Connect(m_wndBrowser.Control(), m_pEventHandler);
  return 0;
}

// Gives back every reference the control and its document hold on this window while the window
// object still lives.
void CWebBrowser2ContainerWnd::OnDestroy() noexcept {
  DisconnectDocumentEvents();
  m_ownEvents.Disconnect();
  m_handlerEvents.Disconnect();
  if (const auto custom = Document<ICustomDoc>()) custom->SetUIHandler(nullptr);
  m_pBrowser.reset();
  m_wndBrowser.Destroy();
  // Whoever still holds the host object now reaches no window.
  if (m_pHostObject) m_pHostObject->CutOff();
  m_pHostObject.reset();
}

BOOL CWebBrowser2ContainerWnd::Navigate(const std::wstring& url) noexcept {
  if (!m_pBrowser) return TRUE;
  const UniqueBstr address(SysAllocStringLen(url.data(), static_cast<UINT>(url.size())));
  if (!address) return FALSE;
  VARIANT empty;
  VariantInit(&empty);
  m_pBrowser->Navigate(address.get(), &empty, &empty, &empty, &empty);
  return TRUE;
}

BOOL CWebBrowser2ContainerWnd::InstallUIHandler() noexcept {
  const auto custom = Document<ICustomDoc>();
  return custom && m_pHostObject && SUCCEEDED(custom->SetUIHandler(m_pHostObject.get()));
}

BOOL CWebBrowser2ContainerWnd::ConnectDocumentEvents() noexcept {
  DisconnectDocumentEvents();
  const auto container = Document<IConnectionPointContainer>();
  if (!container || !m_pHostObject ||
      FAILED(
          container->FindConnectionPoint(__uuidof(HTMLDocumentEvents), m_pDocEventsPoint.put()))) {
    return FALSE;
  }
  if (FAILED(m_pDocEventsPoint->Advise(static_cast<IDispatch*>(m_pHostObject.get()),
                                       &m_dwDocEventsCookie))) {
    m_pDocEventsPoint.reset();
    return FALSE;
  }
  return TRUE;
}

BOOL CWebBrowser2ContainerWnd::DisconnectDocumentEvents() noexcept {
  if (!m_pDocEventsPoint) return TRUE;
  const HRESULT hr = m_pDocEventsPoint->Unadvise(m_dwDocEventsCookie);
  m_dwDocEventsCookie = 0;
  m_pDocEventsPoint.reset();
  return SUCCEEDED(hr);
}

BOOL CWebBrowser2ContainerWnd::CancelCurrentEvent(const wchar_t* tag) noexcept {
  const auto document = Document<IHTMLDocument2>();
  ComPtr<IHTMLWindow2> window;
  if (!document || FAILED(document->get_parentWindow(window.put())) || !window) return FALSE;
  ComPtr<IHTMLEventObj> event;
  if (FAILED(window->get_event(event.put())) || !event) return FALSE;
  if (tag) {
    ComPtr<IHTMLElement> source;
    if (FAILED(event->get_srcElement(source.put())) || !source) return FALSE;
    UniqueBstr name;
    if (FAILED(source->get_tagName(name.put())) || !name) return FALSE;
    if (!EqualsIgnoringAsciiCase(std::wstring_view(name.get(), SysStringLen(name.get())), tag))
      return FALSE;
  }
  VARIANT cancel;
  VariantInit(&cancel);
  V_VT(&cancel) = VT_I2;
  V_I2(&cancel) = 0;
  return SUCCEEDED(event->put_returnValue(cancel));
}

BOOL CWebBrowser2ContainerWnd::PreTranslateMessage(MSG* msg) noexcept {
  if (!msg || !m_pBrowser) return FALSE;
  if (const auto active = m_pBrowser.try_query<IOleInPlaceActiveObject>()) {
    if (active->TranslateAccelerator(msg) == S_OK) return TRUE;
  }
  // Dialog-style navigation for keyboard and mouse input only.
  const UINT message = msg->message;
  const bool keyboard = message >= WM_KEYDOWN && message <= WM_SYSDEADCHAR;
  const bool mouse = message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK;
  return (keyboard || mouse) && Handle() && IsDialogMessageW(Handle(), msg);
}

BOOL CWebBrowser2ContainerWnd::OnCmdExecute(const std::wstring&, const std::wstring&,
                                            const std::wstring&) {
  return TRUE;
}

BOOL CWebBrowser2ContainerWnd::OnCmdEvent(const std::wstring&, const std::wstring&,
                                          const std::wstring&) {
  return TRUE;
}

BOOL CWebBrowser2ContainerWnd::OnCmdNavigate(const std::wstring& url) {
  return Navigate(url);
}

VARIANT_BOOL CWebBrowser2ContainerWnd::OnHelp() {
  return VARIANT_TRUE;
}
VARIANT_BOOL CWebBrowser2ContainerWnd::OnClick() {
  return VARIANT_TRUE;
}
VARIANT_BOOL CWebBrowser2ContainerWnd::OnDblClick() {
  return VARIANT_TRUE;
}
HRESULT CWebBrowser2ContainerWnd::OnKeyDown() {
  return S_OK;
}
HRESULT CWebBrowser2ContainerWnd::OnKeyUp() {
  return S_OK;
}
VARIANT_BOOL CWebBrowser2ContainerWnd::OnKeyPress() {
  return VARIANT_TRUE;
}
HRESULT CWebBrowser2ContainerWnd::OnMouseDown() {
  return S_OK;
}
HRESULT CWebBrowser2ContainerWnd::OnMouseMove() {
  return S_OK;
}
HRESULT CWebBrowser2ContainerWnd::OnMouseUp() {
  return S_OK;
}
HRESULT CWebBrowser2ContainerWnd::OnMouseOut() {
  return S_OK;
}
HRESULT CWebBrowser2ContainerWnd::OnMouseOver() {
  return S_OK;
}
HRESULT CWebBrowser2ContainerWnd::OnReadyStateChange() {
  return S_OK;
}
VARIANT_BOOL CWebBrowser2ContainerWnd::OnBeforeUpdate() {
  return VARIANT_TRUE;
}
HRESULT CWebBrowser2ContainerWnd::OnAfterUpdate() {
  return E_NOTIMPL;
}
VARIANT_BOOL CWebBrowser2ContainerWnd::OnRowExit() {
  return VARIANT_TRUE;
}
HRESULT CWebBrowser2ContainerWnd::OnRowEnter() {
  return E_NOTIMPL;
}
VARIANT_BOOL CWebBrowser2ContainerWnd::OnErrorUpdate() {
  return VARIANT_TRUE;
}

VARIANT_BOOL CWebBrowser2ContainerWnd::OnDragStart() {
  CancelCurrentEvent(nullptr);
  return VARIANT_TRUE;
}

VARIANT_BOOL CWebBrowser2ContainerWnd::OnSelectStart() {
  CancelCurrentEvent(nullptr);
  return VARIANT_TRUE;
}

void CWebBrowser2ContainerWnd::NavigateComplete2(IDispatch*, VARIANT*) {
  InstallUIHandler();
  if (m_bDocumentEvents) ConnectDocumentEvents();
}

BOOL IsBrowserBusy(IWebBrowser2* browser) noexcept {
  VARIANT_BOOL busy = VARIANT_TRUE;
  READYSTATE state = READYSTATE_UNINITIALIZED;
  if (!browser || FAILED(browser->get_Busy(&busy)) || FAILED(browser->get_ReadyState(&state)))
    return TRUE;
  if (state == READYSTATE_COMPLETE) return FALSE;
  return !(state == READYSTATE_LOADING && busy == VARIANT_FALSE);
}

}  // namespace tavrin
