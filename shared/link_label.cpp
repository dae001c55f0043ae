#include "shared/link_label.h"

#include "shared/open_link.h"

#include <commctrl.h>
#include <windowsx.h>

namespace tavrin {
namespace {
constexpr UINT_PTR kToolId = 1;
constexpr UINT kHoverPeriodMs = 100;
}  // namespace

void CLinkLabel::SetLink(const std::wstring& link) {
  m_strLink = link;
  if (!Handle()) return;
  FitToText();
  if (!m_toolTip) return;
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = Handle();
  tool.uId = kToolId;
  tool.lpszText = m_strLink.data();
  SendMessageW(m_toolTip.get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CLinkLabel::SetVisited(bool visited) noexcept {
  m_bVisited = visited;
  if (Handle()) InvalidateRect(Handle(), nullptr, TRUE);
}

void CLinkLabel::SetUnderlineMode(int mode) noexcept {
  if (mode == m_nUnderline) return;
  if (Handle()) {
    UseUnderlinedFont(mode == 1);
    InvalidateRect(Handle(), nullptr, TRUE);
  }
  m_nUnderline = mode;
}

void CLinkLabel::FitToText() {
  const HWND window = Handle();
  if (!window || !m_bFitToText) return;
  const HWND parent = GetParent(window);
  RECT bounds{};
  RECT client{};
  GetWindowRect(window, &bounds);
  GetClientRect(window, &client);
  MapWindowPoints(window, parent, reinterpret_cast<POINT*>(&client), 2);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&bounds), 2);

  SIZE text{};
  {
    const std::wstring caption = WindowText();
    const CWindowDc dc(window);
    const CSelectObject font(dc.get(), m_underlineFont.get());
    GetTextExtentPoint32W(dc.get(), caption.c_str(), static_cast<int>(caption.size()), &text);
  }
  const LONG oldWidth = bounds.right - bounds.left;
  const LONG oldHeight = bounds.bottom - bounds.top;
  const LONG width = text.cx + oldWidth - (client.right - client.left);
  const LONG height = text.cy + oldHeight - (client.bottom - client.top);

  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
  // The alignment is a value of the type field, not a set of bits: SS_SIMPLE holds both.
  const DWORD type = style & SS_TYPEMASK;
  if (style & SS_CENTERIMAGE) {
    const LONG shift = (oldHeight - height) / 2;
    bounds.top += shift;
    bounds.bottom -= shift;
  } else {
    bounds.bottom = bounds.top + height;
  }
  if (type == SS_CENTER) {
    const LONG shift = (oldWidth - width) / 2;
    bounds.left += shift;
    bounds.right -= shift;
  } else if (type == SS_RIGHT) {
    bounds.left = bounds.right - width;
  } else {
    bounds.right = bounds.left + width;
  }
  SetWindowPos(window, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
               bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CLinkLabel::LoadHandCursor() {
  m_hLinkCursor = LoadCursorW(nullptr, IDC_HAND);
}

void CLinkLabel::OnSubclassed() {
  const HWND window = Handle();
  SetWindowLongPtrW(window, GWL_STYLE, GetWindowLongPtrW(window, GWL_STYLE) | SS_NOTIFY);
  if (m_strLink.empty()) m_strLink = WindowText();
  if (WindowText().empty()) SetWindowTextW(window, m_strLink.c_str());

  auto font = reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0));
  if (!font) font = GetStockObject(DEFAULT_GUI_FONT);
  if (!font) font = GetStockObject(ANSI_VAR_FONT);
  LOGFONTW description{};
  GetObjectW(font, sizeof(description), &description);
  m_normalFont.reset(CreateFontIndirectW(&description));
  description.lfUnderline = TRUE;
  m_underlineFont.reset(CreateFontIndirectW(&description));

  FitToText();
  LoadHandCursor();
  SetUnderlineMode(-1);

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  m_toolTip.reset(CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  window, nullptr, nullptr, nullptr));
  if (!m_toolTip) return;
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  // The tooltip sees the control's mouse messages itself: a modal dialog's loop relays nothing.
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = window;
  tool.uId = kToolId;
  GetClientRect(window, &tool.rect);
  tool.lpszText = m_strLink.data();
  SendMessageW(m_toolTip.get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

std::optional<LRESULT> CLinkLabel::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_DESTROY:
      KillTimer(Handle(), m_nTimerId);
      m_toolTip.reset();
      return std::nullopt;
    case kReflectedMessageBase + WM_CTLCOLORSTATIC:
      return OnColour(reinterpret_cast<HDC>(wParam));
    case kReflectedMessageBase + WM_COMMAND:
      if (HIWORD(wParam) != STN_CLICKED) return std::nullopt;
      OnClicked();
      return TRUE;
    case WM_SETCURSOR:
      if (!m_hLinkCursor) return std::nullopt;
      SetCursor(m_hLinkCursor);
      return TRUE;
    case WM_MOUSEMOVE:
      OnMouseMove();
      return std::nullopt;
    case WM_TIMER:
      if (wParam == m_nTimerId) OnHoverTimer();
      return std::nullopt;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(Handle(), &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return TRUE;
    }
    default:
      return std::nullopt;
  }
}

std::wstring CLinkLabel::WindowText() const {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(Handle())) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(Handle(), text.data(), static_cast<int>(text.size()))));
  return text;
}

void CLinkLabel::UseUnderlinedFont(bool underlined) noexcept {
  const HGDIOBJ font = underlined ? m_underlineFont.get() : m_normalFont.get();
  SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void CLinkLabel::OnMouseMove() noexcept {
  if (m_bOver) return;
  m_bOver = true;
  if (m_nUnderline == -1) UseUnderlinedFont(true);
  InvalidateRect(Handle(), nullptr, TRUE);
  SetTimer(Handle(), m_nTimerId, kHoverPeriodMs, nullptr);
}

void CLinkLabel::OnHoverTimer() noexcept {
  const DWORD position = GetMessagePos();
  POINT point{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  ScreenToClient(Handle(), &point);
  RECT client{};
  GetClientRect(Handle(), &client);
  if (PtInRect(&client, point)) return;
  m_bOver = false;
  KillTimer(Handle(), m_nTimerId);
  if (m_nUnderline != 1) UseUnderlinedFont(false);
  // The underline reaches below a tightly fitted client area.
  client.bottom += 10;
  InvalidateRect(Handle(), &client, TRUE);
}

void CLinkLabel::OnClicked() {
  m_bOver = false;
  const int result = OpenLink(m_strLink, SW_SHOW);
  m_bVisited = result > 32;
  if (m_bVisited) {
    SetVisited(true);
    return;
  }
  MessageBeep(MB_ICONEXCLAMATION);
  ShowOpenError(GetParent(Handle()), result);
}

LRESULT CLinkLabel::OnColour(HDC dc) const noexcept {
  SetTextColor(dc, m_bOver ? m_crHover : (m_bVisited ? m_crVisited : m_crLink));
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
}

}  // namespace tavrin
