#include "band/settings_dialog.h"

#include "band/settings.h"
#include "framework/module.h"
#include "resources/resource.h"

namespace tavrin {

INT_PTR CSettingsDialog::Run(HWND owner) noexcept {
  return DoModal(ModuleInstance(), IDD_SETTINGS, owner);
}

std::optional<INT_PTR> CSettingsDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      CheckDlgButton(Handle(), IDC_DOMAIN_ONLY, m_bDomainOnly ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        m_bDomainOnly = IsDlgButtonChecked(Handle(), IDC_DOMAIN_ONLY) == BST_CHECKED;
      } else if (LOWORD(wParam) != IDCANCEL) {
        return std::nullopt;
      }
      EndDialog(Handle(), LOWORD(wParam));
      return TRUE;
    default:
      return std::nullopt;
  }
}

void RunSettingsCommand(HWND owner) {
  CSettingsDialog dialog;
  dialog.m_bDomainOnly = ReadSetting(kDomainOnlyValue);
  if (dialog.Run(owner) == IDOK) WriteSetting(kDomainOnlyValue, dialog.m_bDomainOnly ? 1 : 0);
}

}  // namespace tavrin
