#include "band/tavrin_bands_object.h"

#include "band/band_constants.h"
#include "browserview/web_browser_container.h"

#include <algorithm>
#include <cwchar>

namespace tavrin {

void TavrinBandsObject::FinalRelease() noexcept {
  LeaveSite();
}

std::span<const InterfaceEntry> TavrinBandsObject::Interfaces() noexcept {
  using T = TavrinBandsObject;
  static const InterfaceEntry table[] = {
      InterfaceOf<T, ITavrinBandsObject>(),
      InterfaceOf<T, IDispatch, ITavrinBandsObject>(),
      InterfaceOf<T, IDeskBand>(),
      InterfaceOf<T, IOleWindow, IDeskBand>(),
      InterfaceOf<T, IDockingWindow, IDeskBand>(),
      InterfaceOf<T, IContextMenu>(),
      InterfaceOf<T, IInputObject>(),
      InterfaceOf<T, IObjectWithSite>(),
      InterfaceOf<T, IPersistStream>(),
      InterfaceOf<T, IPersist, IPersistStream>(),
  };
  return table;
}

STDMETHODIMP TavrinBandsObject::GetWindow(HWND* window) noexcept {
  if (!window) return E_INVALIDARG;
  *window = Handle();
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::ContextSensitiveHelp(BOOL) noexcept {
  return E_NOTIMPL;
}

// Each showing after a hide starts a new wait, so a page loaded meanwhile gets its list.
STDMETHODIMP TavrinBandsObject::ShowDW(BOOL show) noexcept {
  if (!Handle()) {
    m_bShown = FALSE;
    return S_OK;
  }
  if (!show) {
    ShowWindow(Handle(), SW_HIDE);
    m_bShown = FALSE;
    return S_OK;
  }
  ShowWindow(Handle(), SW_SHOW);
  UpdateWindow(Handle());
  if (m_bShown) return S_OK;
  m_bShown = TRUE;
  StartPageWait();
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::CloseDW(DWORD) noexcept {
  ShowDW(FALSE);
  Destroy();
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::ResizeBorderDW(LPCRECT, IUnknown*, BOOL) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP TavrinBandsObject::GetBandInfo(DWORD, DWORD viewMode, DESKBANDINFO* info) noexcept {
  if (!info) return E_INVALIDARG;
  if (info->dwMask & DBIM_MINSIZE) {
    if (viewMode == DBIF_VIEWMODE_VERTICAL) {
      info->ptMinSize = kMinSizeVertical;
    } else if (viewMode != DBIF_VIEWMODE_FLOATING) {
      info->ptMinSize = kMinSizeOther;
    }
  }
  if (info->dwMask & DBIM_MAXSIZE) info->ptMaxSize = {-1, -1};
  if (info->dwMask & DBIM_INTEGRAL) info->ptIntegral = {1, 1};
  if (info->dwMask & DBIM_ACTUAL) info->ptActual = {0, 0};
  if (info->dwMask & DBIM_TITLE) {
    const size_t length = std::min(std::wcslen(kBandTitle), kBandTitleCapacity - 1);
    std::copy_n(kBandTitle, length, info->wszTitle);
    info->wszTitle[length] = L'\0';
  }
  if (info->dwMask & DBIM_MODEFLAGS) info->dwModeFlags = DBIMF_VARIABLEHEIGHT;
  // Without the bit the bar keeps its default background.
  info->dwMask &= ~DBIM_BKCOLOR;
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP TavrinBandsObject::InvokeCommand(CMINVOKECOMMANDINFO*) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP TavrinBandsObject::GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP TavrinBandsObject::UIActivateIO(BOOL activate, MSG*) noexcept {
  // Never SetFocus(nullptr): that would take the focus from the browser.
  if (activate && Handle()) SetFocus(Handle());
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::HasFocusIO() noexcept {
  if (m_bHasFocus) return S_OK;
  const HWND focus = ::GetFocus();
  if (!focus) return S_FALSE;
  for (HWND window = Handle(); window; window = ::GetWindow(window, GW_CHILD)) {
    if (window == focus) return S_OK;
  }
  return S_FALSE;
}

// The browser offers its accelerators to the bar; they go on to the HTML view's control.
STDMETHODIMP TavrinBandsObject::TranslateAcceleratorIO(MSG* message) noexcept {
  const ComPtr<IWebBrowser2> view(m_wndBand.ViewBrowser());
  if (!view) return S_FALSE;
  ComPtr<IDispatch> application;
  RETURN_IF_FAILED(view->get_Application(application.put()));
  if (!application) return E_NOINTERFACE;
  ComPtr<IOleInPlaceActiveObject> active;
  RETURN_IF_FAILED(application->QueryInterface(IID_PPV_ARGS(active.put())));
  return active->TranslateAccelerator(message);
}

STDMETHODIMP TavrinBandsObject::SetSite(IUnknown* site) noexcept {
  LeaveSite();
  if (!site) return S_OK;

  const ComPtr<IUnknown> given(site);
  const auto oleWindow = given.try_query<IOleWindow>();
  HWND parent = nullptr;
  if (!oleWindow || FAILED(oleWindow->GetWindow(&parent)) || !parent) return E_FAIL;
  m_hwndParent = parent;
  m_pSite = given.try_query<IInputObjectSite>();

  // Failures along this chain leave the band without a main browser.
  if (const auto provider = given.try_query<IOleCommandTarget>().try_query<IServiceProvider>())
    provider->QueryService(SID_SWebBrowserApp, IID_PPV_ARGS(m_pBrowser.put()));
  CreateBandObjectWindow();
  return S_OK;
}

// The band window holds the main browser without a reference: it goes before the browser does.
void TavrinBandsObject::LeaveSite() noexcept {
  Destroy();
  m_events.Disconnect();
  m_pSite.reset();
  m_pBrowser.reset();
  m_hwndParent = nullptr;
}

// A failed creation leaves the band without a window; the browser then shows an empty bar.
void TavrinBandsObject::CreateBandObjectWindow() noexcept {
  RECT client{};
  GetClientRect(m_hwndParent, &client);
  if (!Create({.className = kBandObjectClass,
               .classStyle = CS_DBLCLKS,
               .background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
               .parent = m_hwndParent,
               .style = WS_CHILD | WS_CLIPCHILDREN | WS_TABSTOP,
               .rect = client,
               .id = kBandObjectWindowId})) {
    return;
  }
  SetWindowTextW(Handle(), kBandObjectText);
}

std::optional<LRESULT> TavrinBandsObject::HandleMessage(UINT message, WPARAM, LPARAM lParam) {
  const ComPtr<IDeskBand> alive = KeepAlive();
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_DESTROY:
      if (m_uPageWaitTimer) KillTimer(Handle(), m_uPageWaitTimer);
      m_uPageWaitTimer = 0;
      return 0;
    case WM_SIZE:
      if (m_wndBand.Handle())
        MoveWindow(m_wndBand.Handle(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      return 0;
    case WM_SETFOCUS:
      m_bHasFocus = TRUE;
      if (m_pSite) m_pSite->OnFocusChangeIS(static_cast<IInputObject*>(this), TRUE);
      if (m_wndBand.Handle()) SetFocus(m_wndBand.Handle());
      return 0;
    case WM_KILLFOCUS:
      m_bHasFocus = FALSE;
      return 0;
    case WM_TIMER:
      OnPageWaitTick();
      return 0;
    default:
      return std::nullopt;
  }
}

// Without the main browser's events the bar cannot follow its pages: no window then.
LRESULT TavrinBandsObject::OnCreate() noexcept {
  if (!m_pBrowser || FAILED(m_events.Connect(ComPtr<IUnknown>(m_pBrowser.get()), this))) return -1;
  m_wndBand.Create(Handle(), m_pBrowser.get(), static_cast<IDeskBand*>(this));
  StartPageWait();
  return 0;
}

void TavrinBandsObject::StartPageWait() noexcept {
  if (m_uPageWaitTimer || !Handle() || !m_wndBand.Handle()) return;
  ArmPageWaitTimer();
  m_wndBand.BeginPageWait();
}

void TavrinBandsObject::ArmPageWaitTimer() noexcept {
  m_uPageWaitTimer = SetTimer(Handle(), kPageWaitTimerId, kPageWaitPeriod, nullptr);
}

// The document is asked for only to know that the browser has one (a null one will do).
void TavrinBandsObject::OnPageWaitTick() noexcept {
  if (m_uPageWaitTimer) KillTimer(Handle(), m_uPageWaitTimer);
  m_uPageWaitTimer = 0;
  if (!m_wndBand.Handle()) return;
  ComPtr<IDispatch> document;
  if (m_wndBand.IsBuildingList() || IsBrowserBusy(m_pBrowser.get()) ||
      FAILED(m_pBrowser->get_Document(document.put()))) {
    ArmPageWaitTimer();
    return;
  }
  m_wndBand.FinishPageWait();
}

// A wait already running goes on: frames and redirects belong to the same page.
void TavrinBandsObject::BeforeNavigate2(IDispatch*, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                                        VARIANT*, VARIANT_BOOL*) {
  const ComPtr<IDeskBand> alive = KeepAlive();
  StartPageWait();
}

void TavrinBandsObject::NavigateComplete2(IDispatch* pDisp, VARIANT*) {
  const ComPtr<IDeskBand> alive = KeepAlive();
  if (m_wndBand.Handle()) m_wndBand.RecordFrameDocument(pDisp);
}

void TavrinBandsObject::DocumentComplete(IDispatch* pDisp, VARIANT*) {
  const ComPtr<IDeskBand> alive = KeepAlive();
  if (m_wndBand.Handle()) m_wndBand.RecordFrameDocument(pDisp);
}

void TavrinBandsObject::OnQuit() {
  const ComPtr<IDeskBand> alive = KeepAlive();
  m_events.Disconnect();
}

STDMETHODIMP TavrinBandsObject::GetSite(REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  return m_pSite ? m_pSite->QueryInterface(riid, ppv) : E_FAIL;
}

STDMETHODIMP TavrinBandsObject::GetClassID(CLSID* clsid) noexcept {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_TavrinBandsObject;
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::IsDirty() noexcept {
  return S_FALSE;
}
STDMETHODIMP TavrinBandsObject::Load(IStream*) noexcept {
  return S_OK;
}
STDMETHODIMP TavrinBandsObject::Save(IStream*, BOOL) noexcept {
  return S_OK;
}
STDMETHODIMP TavrinBandsObject::GetSizeMax(ULARGE_INTEGER* size) noexcept {
  if (!size) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

}  // namespace tavrin
