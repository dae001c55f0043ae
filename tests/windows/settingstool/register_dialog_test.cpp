#include "settingstool/register_dialog.h"
#include "settingstool/setup_texts.h"
#include "shell_double_registration.h"
#include "tool_process.h"
#include "../dialogs/dialog_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tavrin;
using namespace settingstool_test;

namespace {

struct ShownBox {
  std::wstring text;
  std::wstring caption;
  UINT type;
};

std::vector<ShownBox> g_shown;
int g_answer = IDOK;

int WINAPI RecordBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  g_shown.push_back({text, caption, type});
  return g_answer;
}

std::wstring ItemText(HWND dialog, int id) {
  wchar_t text[128] = {};
  GetDlgItemTextW(dialog, id, text, 128);
  return text;
}

// The dialog in this process, its band DLL beside the test program.
class RegisterDialog : public testing::Test {
 protected:
  void SetUp() override {
    g_shown.clear();
    DeleteFileW(Dll().c_str());
  }
  void TearDown() override { DeleteFileW(Dll().c_str()); }

  static std::wstring Dll() { return BuildFile(L"Tavrin.dll"); }

  // Presses the button inside the dialog's own loop, then closes the dialog.
  static void PressInDialog(int button, int answer) {
    g_answer = answer;
    CRegisterDialog dialog(&RecordBox);
    const DialogDriver driver([button](HWND window) {
      SendMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
      EXPECT_TRUE(IsWindowVisible(window)) << "a failure must leave the dialog open";
      SendMessageW(window, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(dialog.Run(nullptr), IDOK);
    EXPECT_TRUE(driver.Ran());
  }
};

TEST_F(RegisterDialog, InitialisesTextsIconsAndAnswersTheDragIconQuery) {
  CRegisterDialog dialog(&RecordBox);
  const DialogDriver driver([](HWND window) {
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, kSetupTitle);
    EXPECT_EQ(ItemText(window, 1005), kGroupText);
    EXPECT_EQ(ItemText(window, 1002), kRegisterText);
    EXPECT_EQ(ItemText(window, 1003), kUnregisterText);
    const LRESULT big = SendMessageW(window, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(big, 0);
    EXPECT_EQ(SendMessageW(window, WM_GETICON, ICON_SMALL, 0), big);
    EXPECT_EQ(SendMessageW(window, WM_QUERYDRAGICON, 0, 0), big);
    EXPECT_EQ(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_APPWINDOW, WS_EX_APPWINDOW);
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(dialog.Run(nullptr), IDCANCEL);
}

TEST_F(RegisterDialog, MissingDllIsAnExclamationWithOk) {
  PressInDialog(1000, IDOK);
  ASSERT_EQ(g_shown.size(), 1u);
  EXPECT_EQ(g_shown[0].text, L"ERROR : \n\n 「" + Dll() + L"」が見つかりません。");
  EXPECT_EQ(g_shown[0].caption, kSetupTitle);
  EXPECT_EQ(g_shown[0].type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
}

TEST_F(RegisterDialog, HeldDllAsksAQuestionAndAFailedExportIsAnExclamation) {
  ASSERT_TRUE(CopyFileW(BuildFile(L"failing-band.dll").c_str(), Dll().c_str(), FALSE));
  const CShellDoubleRegistration doubles(L"page");
  ASSERT_TRUE(doubles.Registered());
  const CFileHolder holder(L"load", Dll());
  ASSERT_TRUE(holder.Holding());

  PressInDialog(1001, IDNO);
  ASSERT_EQ(g_shown.size(), 1u);
  EXPECT_EQ(g_shown[0].text, kCloseBrowsersQuestion);
  EXPECT_EQ(g_shown[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
  EXPECT_TRUE(CShellDoubleRegistration::Journal().empty());

  g_shown.clear();
  PressInDialog(1001, IDYES);
  ASSERT_EQ(g_shown.size(), 2u);
  EXPECT_EQ(g_shown[1].type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
  EXPECT_EQ(g_shown[1].text.rfind(L"ERROR : \n\n解除に失敗しました。", 0), 0u) << g_shown[1].text;
  EXPECT_EQ(CShellDoubleRegistration::Journal().size(), 5u);
}

}  // namespace
