#pragma once
// A static text control shown and used as a hyperlink. Its parent reflects WM_CTLCOLORSTATIC and
// WM_COMMAND to it (ReflectToControl); a click opens the link.

#include "framework/unique_any.h"
#include "framework/window.h"
#include "framework/gdi.h"

#include <string>

namespace tavrin {

class CLinkLabel final : public CWindowSubclass {
 public:
  static constexpr COLORREF kLinkColour = RGB(0, 0, 238);
  static constexpr COLORREF kVisitedColour = RGB(85, 26, 139);
  static constexpr COLORREF kHoverColour = RGB(255, 0, 0);

  void SetLink(const std::wstring& link);
  void SetVisited(bool visited) noexcept;
  // 1: always underlined; 0: never; -1: only while the mouse is over the link.
  void SetUnderlineMode(int mode) noexcept;
  // Sizes the control to its text, keeping the edge (or centre) that its alignment fixes.
  void FitToText();
  void LoadHandCursor();

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  void OnSubclassed() override;

 private:
  std::wstring WindowText() const;
  void UseUnderlinedFont(bool underlined) noexcept;
  void OnMouseMove() noexcept;
  void OnHoverTimer() noexcept;
  void OnClicked();
  LRESULT OnColour(HDC dc) const noexcept;

  COLORREF m_crLink = kLinkColour;
  COLORREF m_crVisited = kVisitedColour;
  COLORREF m_crHover = kHoverColour;
  bool m_bOver = false;
  bool m_bVisited = false;
  int m_nUnderline = -1;
  bool m_bFitToText = true;
  std::wstring m_strLink;
  UniqueGdiObject m_underlineFont;
  UniqueGdiObject m_normalFont;
  // The system's shared hand, never destroyed.
  HCURSOR m_hLinkCursor = nullptr;
  UniqueWindow m_toolTip;
  UINT_PTR m_nTimerId = 100;
};

}  // namespace tavrin
