#pragma once
// The settings dialog and the band's settings command, which runs it on the "DomainOnly" value.

#include "framework/window.h"

namespace tavrin {

class CSettingsDialog final : public CDialogBase {
 public:
  // Modal on dialog resource 211 of this module.
  INT_PTR Run(HWND owner) noexcept;

  // The domain-only choice, exchanged with the check box when the dialog opens and on OK.
  BOOL m_bDomainOnly = FALSE;

 protected:
  std::optional<INT_PTR> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

// Shows the dialog with the stored "DomainOnly" and stores the choice on OK, even when unchanged.
// The owner is disabled while it runs.
void RunSettingsCommand(HWND owner);

}  // namespace tavrin
