#pragma once
// The band object: the COM object that the browser creates for the bar.

#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/dispatch.h"
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
                          public ComObjectRoot {
 public:
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

  // IPersistStream: the settings live in the registry, the stream holds nothing.
  STDMETHODIMP GetClassID(CLSID* clsid) noexcept override;
  STDMETHODIMP IsDirty() noexcept override;
  STDMETHODIMP Load(IStream* stream) noexcept override;
  STDMETHODIMP Save(IStream* stream, BOOL clearDirty) noexcept override;
  STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) noexcept override;

 private:
  ComPtr<IInputObjectSite> m_pSite;
  ComPtr<IWebBrowser2> m_pBrowser;
  HWND m_hwndParent = nullptr;
  // The band object window; it comes with the band window.
  HWND m_hWnd = nullptr;
  BOOL m_bHasFocus = FALSE;
};

}  // namespace tavrin
