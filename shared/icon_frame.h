#pragma once
// A static control that shows an icon in a white, outlined box with a drop shadow on grey.

#include "framework/window.h"

namespace tavrin {

class CIconFrame final : public CWindowSubclass {
 public:
  CIconFrame() noexcept;

  // An icon of this module's resources; false (and no icon, the frame still drawn) when missing.
  bool SetIconId(UINT id) noexcept;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

 private:
  void Paint(HDC dc) const noexcept;

  // Shared icon from LoadIcon: never destroyed.
  HICON m_hIcon = nullptr;
  int m_cxIcon;
  int m_cyIcon;
};

}  // namespace tavrin
