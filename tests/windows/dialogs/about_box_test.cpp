#include "dialog_driver.h"
#include "resources/resource.h"
#include "framework/gdi.h"
#include "shared/link_label.h"
#include "shared/version_dialog.h"
#include "shared/version_dialog_ids.h"

#include <gtest/gtest.h>

#include <string>

using namespace tavrin;

namespace {

constexpr COLORREF kBlue = RGB(0, 0, 238);
constexpr COLORREF kPurple = RGB(85, 26, 139);
constexpr COLORREF kRed = RGB(255, 0, 0);

std::wstring Text(HWND window) {
  wchar_t text[128] = {};
  GetWindowTextW(window, text, 128);
  return text;
}

// The text colour that answering the colour request leaves in a device context.
COLORREF ColourOf(HWND receiver, UINT message, HWND link) {
  const UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  const LRESULT brush = SendMessageW(receiver, message, reinterpret_cast<WPARAM>(dc.get()),
                                     reinterpret_cast<LPARAM>(link));
  EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), GetStockObject(NULL_BRUSH));
  EXPECT_EQ(GetBkMode(dc.get()), TRANSPARENT);
  return GetTextColor(dc.get());
}

bool Underlined(HWND link) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(link, WM_GETFONT, 0, 0)), sizeof(font), &font);
  return font.lfUnderline != 0;
}

void MoveMouseOnto(HWND link) {
  SendMessageW(link, WM_MOUSEMOVE, 0, MAKELPARAM(1, 1));
}

TEST(AboutBox, LinksAreBlueUntilHoveredAndLoseHoverWhenTheMouseLeaves) {
  // Far from the centred box, where the hover timer will find the mouse.
  SetCursorPos(0, 0);
  CVersionDialog about(IDI_TAVRIN_ABOUT, true);
  const DialogDriver driver([](HWND dialog) {
    EXPECT_EQ(Text(dialog), L"バージョン情報");
    const HWND mail = GetDlgItem(dialog, 1008);
    const HWND web = GetDlgItem(dialog, 1009);
    EXPECT_EQ(Text(mail), L"tavrin@halvek.example");
    EXPECT_EQ(Text(web), L"http://www.halvek.example/");
    ExpectDialogPicture(dialog, L"about", {IDC_VERSION_ICON});

    for (const HWND link : {mail, web}) {
      EXPECT_EQ(ColourOf(dialog, WM_CTLCOLORSTATIC, link), kBlue);
      EXPECT_FALSE(Underlined(link));
      MoveMouseOnto(link);
      EXPECT_EQ(ColourOf(dialog, WM_CTLCOLORSTATIC, link), kRed);
      EXPECT_TRUE(Underlined(link));
      PumpMessages(400);
      EXPECT_EQ(ColourOf(dialog, WM_CTLCOLORSTATIC, link), kBlue);
      EXPECT_FALSE(Underlined(link));
    }
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(about.Run(nullptr), IDOK);
  EXPECT_TRUE(driver.Ran());
}

// Links on a plain window of the test's own, which reflects nothing: the test asks the link itself.
class LinkOnWindow : public testing::Test {
 protected:
  HWND AddStatic(const wchar_t* text, DWORD style) {
    const HWND control = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, 10, 10,
                                         300, 40, m_parent.get(), nullptr, nullptr, nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    return control;
  }

  RECT BoundsInParent(HWND control) const {
    RECT bounds{};
    GetWindowRect(control, &bounds);
    MapWindowPoints(nullptr, m_parent.get(), reinterpret_cast<POINT*>(&bounds), 2);
    return bounds;
  }

  UniqueWindow m_parent{CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 100, 400,
                                        200, nullptr, nullptr, nullptr, nullptr)};
};

TEST_F(LinkOnWindow, VisitedIsPurpleExceptWhileHoveredAndAnEmptyTextShowsTheLink) {
  const HWND control = AddStatic(L"", 0);
  CLinkLabel link;
  link.SetLink(L"http://www.halvek.example/visited");
  ASSERT_TRUE(link.SubclassWindow(control));
  EXPECT_EQ(Text(control), L"http://www.halvek.example/visited");

  link.SetVisited(true);
  EXPECT_EQ(ColourOf(control, kReflectedMessageBase + WM_CTLCOLORSTATIC, control), kPurple);
  MoveMouseOnto(control);
  EXPECT_EQ(ColourOf(control, kReflectedMessageBase + WM_CTLCOLORSTATIC, control), kRed);

  link.SetUnderlineMode(1);
  EXPECT_TRUE(Underlined(control));
  link.SetUnderlineMode(0);
  EXPECT_FALSE(Underlined(control));
}

// The system's own hand, which every current system has.
TEST_F(LinkOnWindow, PointsWithTheSystemsHand) {
  const HWND control = AddStatic(L"Tavrin link", 0);
  CLinkLabel link;
  ASSERT_TRUE(link.SubclassWindow(control));
  SetCursor(nullptr);
  SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(LinkOnWindow, FitToTextKeepsTheEdgeOrCentreItsAlignmentFixes) {
  // SS_SIMPLE and SS_LEFTNOWORDWRAP align left though they share bits with SS_CENTER and SS_RIGHT.
  for (const DWORD alignment : {SS_LEFT, SS_RIGHT, SS_CENTER, SS_SIMPLE, SS_LEFTNOWORDWRAP}) {
    SCOPED_TRACE(testing::Message() << "alignment " << alignment);
    // A border makes the window larger than its client area, which the fit must keep.
    const HWND control = AddStatic(L"Tavrin link", WS_BORDER | alignment);
    CLinkLabel link;
    ASSERT_TRUE(link.SubclassWindow(control));

    SIZE text{};
    {
      const CWindowDc dc(control);
      const CSelectObject font(dc.get(),
                               reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
      GetTextExtentPoint32W(dc.get(), L"Tavrin link", 11, &text);
    }
    RECT client{};
    GetClientRect(control, &client);
    const RECT bounds = BoundsInParent(control);
    EXPECT_EQ(client.bottom, text.cy);
    EXPECT_EQ(bounds.top, 10);
    switch (alignment) {
      case SS_LEFT:
      case SS_SIMPLE:
      case SS_LEFTNOWORDWRAP:
        EXPECT_EQ(client.right, text.cx);
        EXPECT_EQ(bounds.left, 10);
        break;
      case SS_RIGHT:
        EXPECT_EQ(client.right, text.cx);
        EXPECT_EQ(bounds.right, 310);
        break;
      default:
        // Each side moves by half the change, rounded toward zero.
        EXPECT_LE(client.right - text.cx, 1);
        EXPECT_GE(client.right - text.cx, 0);
        EXPECT_EQ(bounds.left + bounds.right, 320);
        break;
    }
    DestroyWindow(control);
  }
}

}  // namespace
