#pragma once
// The tool's main dialog: register or unregister the band DLL beside the executable, closing the
// running browsers first when one holds the DLL; the About box from the system menu.

#include "framework/window.h"
#include "settingstool/band_dll.h"
#include "shared/open_link.h"

#include <string>

namespace tavrin {

class CRegisterDialog final : public CDialogBase {
 public:
  // Tests pass their own message box.
  explicit CRegisterDialog(MessageBoxFunction messageBox = &MessageBoxW) noexcept;

  // Modal on dialog resource 102 of this module.
  INT_PTR Run(HWND owner) noexcept;

 protected:
  std::optional<INT_PTR> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnInitDialog();
  void OnRegister();
  void OnUnregister();
  bool OnSysCommand(WPARAM command);
  bool OnPaint();

  // The band DLL's path when it exists; otherwise the user has been told and it is empty.
  std::wstring ExistingBandDll();
  // Says whether the export ran; the user has been told either way.
  bool ReportOutcome(const std::wstring& path, const BandDllResult& result,
                     const wchar_t* doneMessage, const wchar_t* failedMessage);
  int Show(const std::wstring& text, UINT type);

  MessageBoxFunction m_messageBox;
  // Shared icon from LoadIcon: never destroyed.
  HICON m_hIcon;
};

}  // namespace tavrin
