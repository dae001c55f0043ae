#include "settingstool/setup_app.h"

#include "settingstool/register_dialog.h"
#include "settingstool/setup_texts.h"

#include <commctrl.h>
#include <ole2.h>

namespace tavrin {
namespace {

class COleInitialization {
 public:
  COleInitialization() noexcept : m_hr(OleInitialize(nullptr)) {}
  COleInitialization(const COleInitialization&) = delete;
  COleInitialization& operator=(const COleInitialization&) = delete;
  ~COleInitialization() {
    if (SUCCEEDED(m_hr)) OleUninitialize();
  }

 private:
  HRESULT m_hr;
};

}  // namespace

bool ActivateRunningInstance() noexcept {
  const HWND dialog = FindWindowW(kDialogClassName, kSetupTitle);
  if (!dialog) return false;
  SetForegroundWindow(dialog);
  return true;
}

bool CSetupApp::InitInstance() noexcept {
  // Not tested: without OLE only the closing pass and the hiding step fail, and they are optional.
  const COleInitialization ole;
  // The About box's link tooltips.
  const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  // A failed creation runs the tool as if it were the only copy.
  m_instanceMutex.Create(kInstanceMutexName);
  if (m_instanceMutex.AlreadyExists()) {
    ActivateRunningInstance();
    return false;
  }
  CRegisterDialog dialog;
  dialog.Run(nullptr);
  return false;
}

}  // namespace tavrin
