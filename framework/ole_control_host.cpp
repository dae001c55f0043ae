#include "framework/ole_control_host.h"

#include "framework/dispatch.h"

#include <mshtmhst.h>
#include <olectl.h>

namespace tavrin {

// What the hosted control asks its container for; everything else is refused.
class COleControlSite : public IOleClientSite,
                        public IOleInPlaceSite,
                        public IOleInPlaceFrame,
                        public UntypedDispatch,
                        public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    using T = COleControlSite;
    static const InterfaceEntry table[] = {
        InterfaceOf<T, IOleClientSite>(),
        InterfaceOf<T, IOleInPlaceSite>(),
        InterfaceOf<T, IOleWindow, IOleInPlaceSite>(),
        InterfaceOf<T, IOleInPlaceFrame>(),
        InterfaceOf<T, IOleInPlaceUIWindow, IOleInPlaceFrame>(),
        InterfaceOf<T, IDispatch>(),
        // MSHTML asks the client site for it as it creates each document (MSDN, "WebBrowser
        // Customization"); another object's, so it does not lead back to the site.
        {&__uuidof(IDocHostUIHandler),
         [](void* object) -> IUnknown* { return static_cast<T*>(object)->m_pUIHandler.get(); }},
    };
    return table;
  }

  void Attach(HWND window, IDocHostUIHandler* uiHandler) noexcept {
    m_hWnd = window;
    m_pUIHandler = uiHandler;
  }

  // IOleClientSite
  STDMETHODIMP SaveObject() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept override {
    if (moniker) *moniker = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetContainer(IOleContainer** container) noexcept override {
    if (container) *container = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP ShowObject() noexcept override { return S_OK; }
  STDMETHODIMP OnShowWindow(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP RequestNewObjectLayout() noexcept override { return E_NOTIMPL; }

  // IOleWindow
  STDMETHODIMP GetWindow(HWND* window) noexcept override {
    if (!window) return E_POINTER;
    *window = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }

  // IOleInPlaceSite
  STDMETHODIMP CanInPlaceActivate() noexcept override { return m_hWnd ? S_OK : S_FALSE; }
  STDMETHODIMP OnInPlaceActivate() noexcept override { return S_OK; }
  STDMETHODIMP OnUIActivate() noexcept override { return S_OK; }
  STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                RECT* position, RECT* clip,
                                OLEINPLACEFRAMEINFO* frameInfo) noexcept override {
    if (!frame || !document || !position || !clip || !frameInfo) return E_POINTER;
    ComPtr<IOleInPlaceFrame>(this).copy_to(frame);
    *document = nullptr;
    GetClientRect(m_hWnd, position);
    *clip = *position;
    frameInfo->fMDIApp = FALSE;
    frameInfo->hwndFrame = GetAncestor(m_hWnd, GA_ROOT);
    frameInfo->haccel = nullptr;
    frameInfo->cAccelEntries = 0;
    return S_OK;
  }
  STDMETHODIMP Scroll(SIZE) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP OnUIDeactivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnInPlaceDeactivate() noexcept override { return S_OK; }
  STDMETHODIMP DiscardUndoState() noexcept override { return E_NOTIMPL; }
  STDMETHODIMP DeactivateAndUndo() noexcept override { return E_NOTIMPL; }
  // The control always fills the host window; a request of its own changes nothing.
  STDMETHODIMP OnPosRectChange(LPCRECT) noexcept override { return S_OK; }

  // IOleInPlaceUIWindow and IOleInPlaceFrame: no tool space, menus or status bar to share.
  STDMETHODIMP GetBorder(LPRECT) noexcept override { return INPLACE_E_NOTOOLSPACE; }
  STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) noexcept override {
    return INPLACE_E_NOTOOLSPACE;
  }
  STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) noexcept override { return S_OK; }
  STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) noexcept override {
    return S_OK;
  }
  STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) noexcept override { return S_OK; }
  STDMETHODIMP RemoveMenus(HMENU) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP SetStatusText(LPCOLESTR) noexcept override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP TranslateAccelerator(LPMSG, WORD) noexcept override { return S_FALSE; }

  // IDispatch: the ambient properties. Without user mode a control runs in design mode.
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                      UINT*) noexcept override {
    if (!(flags & DISPATCH_PROPERTYGET) || !result) return DISP_E_MEMBERNOTFOUND;
    switch (id) {
      case DISPID_AMBIENT_USERMODE:
      case DISPID_AMBIENT_UIDEAD:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = id == DISPID_AMBIENT_USERMODE ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  // Cleared when the control is closed, so a late call finds no window.
  HWND m_hWnd = nullptr;
  ComPtr<IDocHostUIHandler> m_pUIHandler;
};

COleControlHost::COleControlHost() noexcept = default;

COleControlHost::~COleControlHost() = default;

HRESULT COleControlHost::Create(REFCLSID clsid, HWND parent, DWORD style, const RECT& rect,
                                UINT_PTR id, IDocHostUIHandler* uiHandler) noexcept {
  Destroy();
  RETURN_IF_WIN32_BOOL_FALSE(CWindowBase::Create({.className = L"TavrinControlHost",
                                                  .parent = parent,
                                                  .style = style,
                                                  .rect = rect,
                                                  .id = id}) != nullptr);
  const HRESULT hr = [&]() noexcept -> HRESULT {
    m_pSite = MakeComObject<COleControlSite>();
    if (!m_pSite) return E_OUTOFMEMORY;
    m_pSite->Attach(Handle(), uiHandler);

    ComPtr<IOleObject> control;
    RETURN_IF_FAILED(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(control.put())));
    m_pControl = control.try_query<IUnknown>();
    RETURN_IF_FAILED(control->SetClientSite(m_pSite.get()));
    if (const auto persist = control.try_query<IPersistStreamInit>())
      RETURN_IF_FAILED(persist->InitNew());
    RECT client{};
    GetClientRect(Handle(), &client);
    return control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_pSite.get(), 0, Handle(), &client);
  }();
  if (FAILED(hr)) Destroy();
  return hr;
}

void COleControlHost::CloseControl() noexcept {
  if (m_pControl) {
    if (const auto inPlace = m_pControl.try_query<IOleInPlaceObject>())
      inPlace->InPlaceDeactivate();
    if (const auto control = m_pControl.try_query<IOleObject>()) {
      control->Close(OLECLOSE_NOSAVE);
      control->SetClientSite(nullptr);
    }
    m_pControl.reset();
  }
  if (m_pSite) {
    m_pSite->Attach(nullptr, nullptr);
    m_pSite.reset();
  }
}

std::optional<LRESULT> COleControlHost::HandleMessage(UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (const auto inPlace = m_pControl.try_query<IOleInPlaceObject>()) {
        const RECT rect{0, 0, LOWORD(lParam), HIWORD(lParam)};
        inPlace->SetObjectRects(&rect, &rect);
      }
      return 0;
    case WM_SETFOCUS:
      if (const auto inPlace = m_pControl.try_query<IOleInPlaceObject>()) {
        HWND control = nullptr;
        if (SUCCEEDED(inPlace->GetWindow(&control)) && control) SetFocus(control);
      }
      return 0;
    case WM_DESTROY:
      CloseControl();
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

}  // namespace tavrin
