#include "shared/icon_frame.h"

#include "framework/module.h"
#include "framework/gdi.h"

namespace tavrin {
namespace {
constexpr COLORREF kGround = RGB(128, 128, 128);
constexpr int kShadow = 4;

void FillClient(HWND window, HDC dc, COLORREF colour) noexcept {
  RECT client{};
  GetClientRect(window, &client);
  const UniqueGdiObject brush(CreateSolidBrush(colour));
  FillRect(dc, &client, static_cast<HBRUSH>(brush.get()));
}
}  // namespace

CIconFrame::CIconFrame() noexcept
    : m_cxIcon(GetSystemMetrics(SM_CXICON)), m_cyIcon(GetSystemMetrics(SM_CYICON)) {}

bool CIconFrame::SetIconId(UINT id) noexcept {
  m_hIcon = LoadIconW(ModuleInstance(), MAKEINTRESOURCEW(id));
  return m_hIcon != nullptr;
}

std::optional<LRESULT> CIconFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_ERASEBKGND:
      FillClient(Handle(), reinterpret_cast<HDC>(wParam), kGround);
      return TRUE;
    case WM_PAINT: {
      const CPaintDc dc(Handle());
      Paint(dc.get());
      return 0;
    }
    case WM_PRINTCLIENT:
      Paint(reinterpret_cast<HDC>(wParam));
      return 0;
    default:
      return std::nullopt;
  }
}

void CIconFrame::Paint(HDC dc) const noexcept {
  RECT client{};
  GetClientRect(Handle(), &client);
  const int w = client.right;
  const int h = client.bottom;
  // Drawn off screen and copied in one transfer, so the frame never flickers.
  const UniqueMemoryDc memory(CreateCompatibleDC(dc));
  const UniqueGdiObject bitmap(CreateCompatibleBitmap(dc, w, h));
  if (!memory || !bitmap) return;
  const CSelectObject selectBitmap(memory.get(), bitmap.get());

  FillClient(Handle(), memory.get(), kGround);
  {
    const CSelectObject pen(memory.get(), GetStockObject(BLACK_PEN));
    const CSelectObject fill(memory.get(), GetStockObject(WHITE_BRUSH));
    Rectangle(memory.get(), 0, 0, w - kShadow, h - kShadow);
  }
  const auto shadow = static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
  const RECT right{w - kShadow, kShadow, w, h};
  const RECT bottom{kShadow, h - kShadow, w, h};
  FillRect(memory.get(), &right, shadow);
  FillRect(memory.get(), &bottom, shadow);

  if (m_hIcon) {
    const UniqueMemoryDc iconDc(CreateCompatibleDC(dc));
    const UniqueGdiObject iconBitmap(CreateCompatibleBitmap(dc, m_cxIcon, m_cyIcon));
    if (iconDc && iconBitmap) {
      const CSelectObject selectIcon(iconDc.get(), iconBitmap.get());
      // The icon's transparent parts show the box's white, not a new bitmap's black.
      const RECT iconArea{0, 0, m_cxIcon, m_cyIcon};
      FillRect(iconDc.get(), &iconArea, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      DrawIconEx(iconDc.get(), 0, 0, m_hIcon, m_cxIcon, m_cyIcon, 0, nullptr, DI_NORMAL);
      StretchBlt(memory.get(), 2, 2, w - 2 * kShadow, h - 2 * kShadow, iconDc.get(), 0, 0, m_cxIcon,
                 m_cyIcon, SRCCOPY);
    }
  }
  BitBlt(dc, 0, 0, w, h, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace tavrin
