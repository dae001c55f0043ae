#pragma once
// OLE control hosting: a child window that holds one control in-place active and filling it,
// with the client site, in-place site, frame and ambient properties the control asks for.

#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/window.h"

#include <ole2.h>

struct IDocHostUIHandler;

namespace tavrin {

class COleControlSite;

// The control is deactivated, closed and released when the window is destroyed.
class COleControlHost : public CWindowBase {
 public:
  COleControlHost() noexcept;

  // Creates the window and the control of class clsid in it; on failure neither remains. The
  // client site answers IDocHostUIHandler with uiHandler, when given, for as long as the control
  // is hosted.
  HRESULT Create(REFCLSID clsid, HWND parent, DWORD style, const RECT& rect, UINT_PTR id,
                 IDocHostUIHandler* uiHandler = nullptr) noexcept;

  // The control's identity; empty when none is hosted.
  const ComPtr<IUnknown>& Control() const noexcept { return m_pControl; }

 protected:
  ~COleControlHost() override;
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void CloseControl() noexcept;

  ComPtr<IUnknown> m_pControl;
  // Held by the control too; it forgets this window when the control is closed.
  ComPtr<ComObject<COleControlSite>> m_pSite;
};

}  // namespace tavrin
