#include "shared/version_dialog.h"

#include "framework/module.h"
#include "shared/version_dialog_ids.h"

namespace tavrin {
namespace {

void CentreOnOwner(HWND dialog) noexcept {
  HWND owner = GetWindow(dialog, GW_OWNER);
  if (!owner) owner = GetDesktopWindow();
  RECT area{};
  RECT box{};
  GetWindowRect(owner, &area);
  GetWindowRect(dialog, &box);
  const LONG width = box.right - box.left;
  const LONG height = box.bottom - box.top;
  SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

INT_PTR CVersionDialog::Run(HWND owner) noexcept {
  return DoModal(ModuleInstance(), IDD_VERSION, owner);
}

std::optional<INT_PTR> CVersionDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return ReflectToControl(message, wParam, lParam);
    case WM_COMMAND:
      if (const auto reflected = ReflectToControl(message, wParam, lParam)) return reflected;
      if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return std::nullopt;
      EndDialog(Handle(), LOWORD(wParam));
      return TRUE;
    default:
      return std::nullopt;
  }
}

void CVersionDialog::OnInitDialog() {
  const HWND dialog = Handle();
  if (m_bCentre) CentreOnOwner(dialog);
  m_iconFrame.SubclassWindow(GetDlgItem(dialog, IDC_VERSION_ICON));
  m_iconFrame.SetIconId(m_iconId);
  m_mailLink.SubclassWindow(GetDlgItem(dialog, IDC_VERSION_MAIL));
  m_mailLink.SetLink(L"mailto:" TAVRIN_MAKER_MAIL);
  m_mailLink.SetUnderlineMode(-1);
  m_webLink.SubclassWindow(GetDlgItem(dialog, IDC_VERSION_WEB));
  m_webLink.SetLink(L"" TAVRIN_MAKER_URL);
  m_webLink.SetUnderlineMode(-1);
}

}  // namespace tavrin
