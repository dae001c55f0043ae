#pragma once
// The About box: product, version, maker, the maker's mail and web links and the framed icon.

#include "framework/window.h"
#include "shared/icon_frame.h"
#include "shared/link_label.h"

namespace tavrin {

class CVersionDialog final : public CDialogBase {
 public:
  // The icon is one of this module's resources; the band centres the box on its owner, the
  // settings tool leaves it where the system puts it.
  CVersionDialog(UINT iconId, bool centreOnOwner) noexcept
      : m_iconId(iconId), m_bCentre(centreOnOwner) {}

  // Modal on dialog resource 130 of this module.
  INT_PTR Run(HWND owner) noexcept;

 protected:
  std::optional<INT_PTR> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void OnInitDialog();

  UINT m_iconId;
  bool m_bCentre;
  CLinkLabel m_mailLink;
  CLinkLabel m_webLink;
  CIconFrame m_iconFrame;
};

}  // namespace tavrin
