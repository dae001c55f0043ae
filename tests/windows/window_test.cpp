#include "framework/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace tavrin;

namespace {

constexpr UINT kThrow = WM_APP + 1;
constexpr UINT kAnswer = WM_APP + 2;

const WindowArgs kTestWindow{
    .className = L"TavrinTestWindow", .style = WS_OVERLAPPEDWINDOW, .rect = {0, 0, 100, 100}};

class RecordingWindow : public CWindowBase {
 public:
  // Where a destroyed window's messages go once the object is gone.
  std::vector<UINT>* destroyedSeen = nullptr;
  std::vector<UINT> seen;
  HWND handleAtCreate = nullptr;

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM, LPARAM) override {
    seen.push_back(message);
    if (destroyedSeen && (message == WM_DESTROY || message == WM_NCDESTROY))
      destroyedSeen->push_back(message);
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

// As CWindow<T> the window goes while the object can still handle its end; a bare object that
// goes first takes the window along without a message to what is left of it.
TEST(WindowBase, TakesItsWindowAlongWhenTheObjectGoesFirst) {
  for (const bool held : {true, false}) {
    HWND hwnd = nullptr;
    std::vector<UINT> destroyedSeen;
    {
      std::optional<CWindow<RecordingWindow>> whole;
      std::optional<RecordingWindow> bare;
      RecordingWindow& window = held ? static_cast<RecordingWindow&>(whole.emplace()) : bare.emplace();
      window.destroyedSeen = &destroyedSeen;
      hwnd = window.Create(kTestWindow);
      ASSERT_TRUE(hwnd);
    }
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(destroyedSeen.size(), held ? 2u : 0u) << held;
  }
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

// The class is the first creator's: a later creator's choices are not taken, so each window
// states its class in full.
TEST(WindowBase, RegistersItsClassOnceWithTheClassAttributesItNames) {
  constexpr wchar_t kBare[] = L"TavrinBareTestWindow";
  RecordingWindow bare;
  ASSERT_TRUE(bare.Create({.className = kBare, .cursor = nullptr}));
  RecordingWindow framed;
  ASSERT_TRUE(framed.Create({.className = L"TavrinFramedTestWindow",
                             .classStyle = CS_DBLCLKS,
                             .background = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)}));
  WNDCLASSEXW info{.cbSize = sizeof(info)};
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), kBare, &info));
  EXPECT_EQ(info.hCursor, nullptr);
  EXPECT_EQ(info.hbrBackground, nullptr);
  EXPECT_EQ(info.style, 0u);
  ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"TavrinFramedTestWindow", &info));
  EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(info.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  EXPECT_EQ(info.style, static_cast<UINT>(CS_DBLCLKS));
}

// Two browser windows, each on its thread, may create their first view at the same moment.
TEST(WindowBase, CreatorsOnSeveralThreadsAllGetTheirWindow) {
  for (int round = 0; round < 20; ++round) {
    const std::wstring name = L"TavrinRaceTestWindow" + std::to_wstring(round);
    std::atomic<int> created = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
      threads.emplace_back([&] {
        RecordingWindow window;
        if (window.Create({.className = name.c_str()})) ++created;
      });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(created, 4) << "round " << round;
  }
}

}  // namespace
