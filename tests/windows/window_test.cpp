#include "framework/window.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace tavrin;

namespace {

constexpr UINT kThrow = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;

const WindowArgs kTestWindow{
    .className = L"TavrinTestWindow", .style = WS_OVERLAPPEDWINDOW, .rect = {0, 0, 100, 100}};

class RecordingWindow final : public CWindowBase {
 public:
  std::vector<UINT> seen;
  HWND handleAtCreate = nullptr;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM, LPARAM) override {
    seen.push_back(message);
    switch (message) {
      case WM_CREATE:
        handleAtCreate = Handle();
        return 0;
      case kThrow:
        throw std::runtime_error("handler failed");
      case kAnswer:
        return 42;
      default:
        return std::nullopt;
    }
  }
};

TEST(WindowBase, BindsAtTheFirstMessageAndKeepsExceptionsInside) {
  RecordingWindow window;
  const HWND hwnd = window.Create(kTestWindow);
  ASSERT_TRUE(hwnd);
  EXPECT_EQ(window.seen.front(), static_cast<UINT>(WM_NCCREATE));
  EXPECT_EQ(window.handleAtCreate, hwnd);
  EXPECT_EQ(SendMessageW(hwnd, kAnswer, 0, 0), 42);
  // The failed handler leaves the message to the default procedure, which answers 0.
  EXPECT_EQ(SendMessageW(hwnd, kThrow, 0, 0), 0);
  DestroyWindow(hwnd);
  EXPECT_EQ(window.seen.back(), static_cast<UINT>(WM_NCDESTROY));
  EXPECT_EQ(window.Handle(), nullptr);
}

TEST(WindowBase, TakesItsWindowAlongWhenTheObjectGoesFirst) {
  HWND hwnd = nullptr;
  {
    RecordingWindow window;
    hwnd = window.Create(kTestWindow);
    ASSERT_TRUE(hwnd);
  }
  EXPECT_FALSE(IsWindow(hwnd));
}

class ClosingDialog final : public CDialogBase {
 protected:
  std::optional<INT_PTR> HandleMessage(UINT message, WPARAM, LPARAM) override {
    if (message != WM_INITDIALOG) return std::nullopt;
    // Ends itself, so no person is needed.
    EndDialog(Handle(), 7);
    return TRUE;
  }
};

TEST(DialogBase, BindsAtInitDialogAndReturnsTheEndDialogResult) {
  ClosingDialog dialog;
  EXPECT_EQ(dialog.DoModal(GetModuleHandleW(nullptr), 1, nullptr), 7);
  EXPECT_EQ(dialog.Handle(), nullptr);
}

}  // namespace
