#include "band/tavrin_bands_object.h"

#include "band/band_constants.h"

#include <algorithm>
#include <cwchar>

namespace tavrin {

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
  *window = m_hWnd;
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::ContextSensitiveHelp(BOOL) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP TavrinBandsObject::ShowDW(BOOL show) noexcept {
  if (m_hWnd) {
    ShowWindow(m_hWnd, show ? SW_SHOW : SW_HIDE);
    if (show) UpdateWindow(m_hWnd);
  }
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::CloseDW(DWORD) noexcept {
  ShowDW(FALSE);
  if (m_hWnd && IsWindow(m_hWnd)) DestroyWindow(m_hWnd);
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
  if (activate && m_hWnd) SetFocus(m_hWnd);
  return S_OK;
}

STDMETHODIMP TavrinBandsObject::HasFocusIO() noexcept {
  if (m_bHasFocus) return S_OK;
  const HWND focus = ::GetFocus();
  if (!focus) return S_FALSE;
  for (HWND window = m_hWnd; window; window = ::GetWindow(window, GW_CHILD)) {
    if (window == focus) return S_OK;
  }
  return S_FALSE;
}

// Accelerators go to the HTML view's browser, which arrives with the band window; until then
// there is none to give them to.
STDMETHODIMP TavrinBandsObject::TranslateAcceleratorIO(MSG*) noexcept {
  return S_FALSE;
}

STDMETHODIMP TavrinBandsObject::SetSite(IUnknown* site) noexcept {
  // Nothing the previous site gave is kept past it.
  m_pSite.reset();
  m_pBrowser.reset();
  m_hwndParent = nullptr;
  if (!site) return S_OK;

  const ComPtr<IUnknown> given(site);
  const auto oleWindow = given.query<IOleWindow>();
  HWND parent = nullptr;
  if (!oleWindow || FAILED(oleWindow->GetWindow(&parent)) || !parent) return E_FAIL;
  m_hwndParent = parent;
  m_pSite = given.query<IInputObjectSite>();

  // Failures along this chain leave the band without a main browser.
  if (const auto provider = given.query<IOleCommandTarget>().query<IServiceProvider>())
    provider->QueryService(SID_SWebBrowserApp, IID_PPV_ARGS(m_pBrowser.put()));
  return S_OK;
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
  return E_NOTIMPL;
}
STDMETHODIMP TavrinBandsObject::Load(IStream*) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP TavrinBandsObject::Save(IStream*, BOOL) noexcept {
  return E_NOTIMPL;
}
STDMETHODIMP TavrinBandsObject::GetSizeMax(ULARGE_INTEGER*) noexcept {
  return E_NOTIMPL;
}

}  // namespace tavrin
