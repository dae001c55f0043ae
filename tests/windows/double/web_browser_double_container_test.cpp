// The unmodified browser container hosting the double, which it gets from CoCreateInstance of
// CLSID_WebBrowser once the double is registered in the prefix.

#include "browserview/web_browser_container.h"

#include "../dialogs/dialog_driver.h"
#include "framework/gdi.h"
#include "framework/module.h"
#include "web_browser_double_registration.h"
#include "web_browser_double_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace tavrin;
using test_double_test::PumpUntilIdle;
using test_double_test::Recorder;
using test_double_test::ScopedDoubleRegistration;

namespace {

class Container final : public CWindow<CWebBrowser2ContainerWnd> {
 public:
  IWebBrowser2* HostedBrowser() const { return m_pBrowser.get(); }
};

// The double beside the test program, with its pages.
std::wstring DoubleBesideProgram() {
  std::wstring path = ModuleFileName();
  path.resize(path.find_last_of(L'\\') + 1);
  return path + ScopedDoubleRegistration::kDll;
}

// For the test's duration the double is the WebBrowser control; every other test gets Wine's own.
class ContainerWithDouble : public testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableW(test_double::kPagesVariable, TAVRIN_DOUBLE_PAGES_DIR);
    ASSERT_TRUE(registration.Registered());
    parent.reset(CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                 400, 300, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(parent);
    view.SetEventHandler(&recorder);
    ASSERT_TRUE(view.Create({.parent = parent.get(),
                             .style = WS_CHILD | WS_VISIBLE,
                             .rect = {0, 0, 300, 200},
                             .id = 100}));
    recorder.top = view.HostedBrowser();
  }
  void TearDown() override {
    if (view.Handle()) DestroyWindow(view.Handle());
    SetEnvironmentVariableW(test_double::kPagesVariable, nullptr);
  }

  // The control's own window, while it is in-place active.
  HWND ControlWindow() {
    const auto inPlace = ComPtr<IWebBrowser2>(view.HostedBrowser()).try_query<IOleInPlaceObject>();
    HWND control = nullptr;
    if (!inPlace || FAILED(inPlace->GetWindow(&control))) return nullptr;
    return control;
  }

  ScopedDoubleRegistration registration{DoubleBesideProgram()};
  Recorder recorder;
  UniqueWindow parent;
  Container view;
};

TEST_F(ContainerWithDouble, HostsTheDoubleInPlaceAndGivesEverythingBack) {
  const HMODULE module = GetModuleHandleW(ScopedDoubleRegistration::kDll);
  ASSERT_TRUE(module) << "CoCreateInstance did not load the registered double";
  ASSERT_TRUE(view.HostedBrowser());
  const HWND control = ControlWindow();
  ASSERT_TRUE(control);
  EXPECT_TRUE(IsChild(view.Handle(), control));

  MoveWindow(view.Handle(), 0, 0, 320, 240, TRUE);
  RECT rect{};
  GetWindowRect(control, &rect);
  EXPECT_EQ(rect.right - rect.left, 320);
  EXPECT_EQ(rect.bottom - rect.top, 240);

  ASSERT_TRUE(view.Navigate(L"http://example.test/frames.html"));
  PumpUntilIdle(view.HostedBrowser());
  DestroyWindow(view.Handle());
  EXPECT_FALSE(IsWindow(control));
  const auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  ASSERT_TRUE(canUnload);
  EXPECT_EQ(canUnload(), S_OK) << "the container left a reference on the double or a document";
}

TEST_F(ContainerWithDouble, NavigatesAndItsHandlerGetsTheEventsAndCancels) {
  const std::wstring address = L"http://example.test/none.html";
  recorder.react = [](const std::wstring&, VARIANT_BOOL* cancel) {
    if (cancel) *cancel = VARIANT_TRUE;
  };
  ASSERT_TRUE(view.Navigate(address));
  PumpMessages(200);
  EXPECT_EQ(recorder.events, std::vector<std::wstring>{L"BeforeNavigate2 0 " + address});

  recorder.react = nullptr;
  recorder.events.clear();
  ASSERT_TRUE(view.Navigate(address));
  PumpUntilIdle(view.HostedBrowser());
  EXPECT_EQ(recorder.events, (std::vector<std::wstring>{L"BeforeNavigate2 0 " + address,
                                                        L"NavigateComplete2 0 " + address,
                                                        L"DocumentComplete 0 " + address}));
}

// Pixels of the window that are not the white background: what its text painted.
int PaintedPixels(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
  RECT client{};
  GetClientRect(window, &client);
  const CWindowDc screen(window);
  const UniqueMemoryDc copy(CreateCompatibleDC(screen.get()));
  const UniqueGdiObject bitmap(CreateCompatibleBitmap(screen.get(), client.right, client.bottom));
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = client.right;
  info.bmiHeader.biHeight = -client.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<DWORD> pixels(static_cast<size_t>(client.right) * client.bottom);
  {
    const CSelectObject select(copy.get(), bitmap.get());
    BitBlt(copy.get(), 0, 0, client.right, client.bottom, screen.get(), 0, 0, SRCCOPY);
  }
  GetDIBits(copy.get(), static_cast<HBITMAP>(bitmap.get()), 0, client.bottom, pixels.data(), &info,
            DIB_RGB_COLORS);
  return static_cast<int>(std::count_if(pixels.begin(), pixels.end(),
                                        [](DWORD p) { return (p & 0xFFFFFF) != 0xFFFFFF; }));
}

TEST_F(ContainerWithDouble, TheControlsWindowPaintsThePagesLinkTexts) {
  ShowWindow(parent.get(), SW_SHOW);
  ASSERT_TRUE(view.Navigate(L"about:blank"));
  PumpUntilIdle(view.HostedBrowser());
  EXPECT_EQ(PaintedPixels(ControlWindow()), 0);

  ASSERT_TRUE(view.Navigate(L"http://example.test/links.html"));
  PumpUntilIdle(view.HostedBrowser());
  EXPECT_GT(PaintedPixels(ControlWindow()), 100);
  EXPECT_TRUE(SaveWindowPicture(ControlWindow(), L"web_browser_double_links"));
}

constexpr wchar_t kServerKey[] =
    L"Software\\Classes\\CLSID\\{8856F961-340A-11D0-A96B-00C04FD705A2}\\InprocServer32";

// What CoCreateInstance of CLSID_WebBrowser loads, as the prefix says.
std::wstring RegisteredServer() {
  wchar_t path[MAX_PATH] = {};
  DWORD size = sizeof(path);
  RegGetValueW(HKEY_LOCAL_MACHINE, kServerKey, nullptr, RRF_RT_REG_SZ, nullptr, path, &size);
  return path;
}

// Every other test relies on Wine's own control being back, also after a run that died while the
// double was registered.
TEST(DoubleRegistration, PutsWinesControlBack) {
  const std::wstring wine = RegisteredServer();
  ASSERT_TRUE(wine.ends_with(L"ieframe.dll"));
  {
    const ScopedDoubleRegistration registration(DoubleBesideProgram());
    ASSERT_TRUE(registration.Registered());
    EXPECT_EQ(RegisteredServer(), DoubleBesideProgram());
  }
  EXPECT_EQ(RegisteredServer(), wine);

  const std::wstring leftover = DoubleBesideProgram();
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kServerKey, nullptr, REG_SZ, leftover.c_str(),
                            static_cast<DWORD>((leftover.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  { const ScopedDoubleRegistration registration(DoubleBesideProgram()); }
  EXPECT_EQ(RegisteredServer(), wine);
}

}  // namespace
