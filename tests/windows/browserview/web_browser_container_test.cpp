#include "browserview/web_browser_container.h"

#include "browserview/web_browser_constants.h"
#include "framework/module.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <mshtmdid.h>

using namespace tavrin;

namespace {

using Container = Testable<CWebBrowser2ContainerWnd>;

TEST(ContainerHosting, HostsTheControlInPlaceSizedWithTheWindowAndGivesEverythingBack) {
  ParentWindow parent;
  const LONG locksBefore = ModuleLockCount();
  {
    Container view;
    ASSERT_TRUE(
        view.Create({.parent = parent.Handle(), .style = WS_CHILD | WS_VISIBLE, .id = 100}));
    const HWND site = GetDlgItem(view.Handle(), kBrowserPaneId);
    ASSERT_TRUE(site);
    ASSERT_TRUE(view.HostedBrowser());

    const auto inPlace = ComPtr<IWebBrowser2>(view.HostedBrowser()).query<IOleInPlaceObject>();
    ASSERT_TRUE(inPlace);
    HWND control = nullptr;
    ASSERT_EQ(inPlace->GetWindow(&control), S_OK);  // only an in-place active object has one
    EXPECT_TRUE(IsChild(site, control));

    MoveWindow(view.Handle(), 0, 0, 320, 240, TRUE);
    RECT rect{};
    GetWindowRect(control, &rect);
    EXPECT_EQ(rect.right - rect.left, 320);
    EXPECT_EQ(rect.bottom - rect.top, 240);

    EXPECT_TRUE(view.Navigate(L"about:blank"));
    SetFocus(view.Handle());

    DestroyWindow(view.Handle());
    EXPECT_FALSE(view.HostedBrowser());
    // The control's site, its event sink and the window's host object are gone.
    EXPECT_EQ(ModuleLockCount(), locksBefore);
  }
}

// Records the control's navigation events; cancels BeforeNavigate2 when asked to.
class NavigationRecorder final : public CWebBrowserEventHandler {
 public:
  bool cancel = false;
  std::vector<std::wstring> events;

  void BeforeNavigate2(IDispatch*, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                       VARIANT_BOOL* cancelOut) override {
    events.push_back(L"BeforeNavigate2 " + std::wstring(V_VT(url) == VT_BSTR ? V_BSTR(url) : L"?"));
    if (cancel) *cancelOut = VARIANT_TRUE;
  }
  void StatusTextChange(const std::wstring&) override { events.push_back(L"StatusTextChange"); }
  void NavigateComplete2(IDispatch*, VARIANT*) override { events.push_back(L"NavigateComplete2"); }
};

void PumpMessagesFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
}

TEST(ContainerHosting, ControlEventsReachTheHandlerAndItsCancelStopsTheNavigation) {
  ParentWindow parent;
  Container view;
  NavigationRecorder recorder;
  view.SetEventHandler(&recorder);
  ASSERT_TRUE(view.Create({.parent = parent.Handle(),
                           .style = WS_CHILD | WS_VISIBLE,
                           .rect = {0, 0, 200, 200},
                           .id = 100}));

  recorder.cancel = true;
  view.Navigate(L"about:blank");
  PumpMessagesFor(500);
  EXPECT_EQ(recorder.events, std::vector<std::wstring>{L"BeforeNavigate2 about:blank"});

  // Not cancelled, the same navigation goes on (Wine's control then reports its progress).
  recorder.cancel = false;
  recorder.events.clear();
  view.Navigate(L"about:blank");
  PumpMessagesFor(500);
  ASSERT_FALSE(recorder.events.empty());
  EXPECT_EQ(recorder.events.front(), L"BeforeNavigate2 about:blank");
  EXPECT_GT(recorder.events.size(), 1u);
  DestroyWindow(view.Handle());
}

TEST(ContainerHosting, AHandlerSetAfterCreationHearsTheEventsUntilItIsTakenAway) {
  ParentWindow parent;
  NavigationRecorder recorder;
  Container view;
  ASSERT_TRUE(view.Create({.parent = parent.Handle(),
                           .style = WS_CHILD | WS_VISIBLE,
                           .rect = {0, 0, 200, 200},
                           .id = 100}));
  view.SetEventHandler(&recorder);
  view.Navigate(L"about:blank");
  PumpMessagesFor(500);
  ASSERT_FALSE(recorder.events.empty());
  EXPECT_EQ(recorder.events.front(), L"BeforeNavigate2 about:blank");

  view.SetEventHandler(nullptr);
  recorder.events.clear();
  view.Navigate(L"about:blank");
  PumpMessagesFor(500);
  EXPECT_TRUE(recorder.events.empty());
  DestroyWindow(view.Handle());
}

class ContainerHandler : public testing::Test {
 protected:
  void SetUp() override {
    browser.document = &document;
    locksBefore = ModuleLockCount();
    ASSERT_TRUE(
        view.Create({.parent = parent.Handle(), .style = WS_CHILD | WS_VISIBLE, .id = 100}));
    view.ReplaceBrowser(&browser);
  }
  void TearDown() override {
    DestroyWindow(view.Handle());
    EXPECT_EQ(ModuleLockCount(), locksBefore) << "a host object still referenced";
    EXPECT_EQ(browser.refs, 0u);
    EXPECT_EQ(document.refs, 0u);
    EXPECT_EQ(document.window.event.refs, 0u);
    EXPECT_EQ(document.documentEvents.refs, 0u);
  }

  // The view again, created with the owner's choices.
  void Recreate(Container::CreateArgs args) {
    DestroyWindow(view.Handle());
    args.parent = parent.Handle();
    args.style = WS_CHILD | WS_VISIBLE;
    args.id = 100;
    ASSERT_TRUE(view.Create(std::move(args)));
    view.ReplaceBrowser(&browser);
  }

  ComPtr<IDispatch> External() {
    ComPtr<IDispatch> external;
    EXPECT_EQ(view.GetExternal(external.put()), S_OK);
    return external;
  }

  LONG locksBefore = 0;
  // Declared first: the window still calls them while it is destroyed.
  stand_in::Document document;
  stand_in::Browser browser;
  ParentWindow parent;
  Container view;
};

TEST_F(ContainerHandler, HostInfoFollowsTheScrollBarChoice) {
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof(info);
  info.dwDoubleClick = 99;
  ASSERT_EQ(view.GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x8Cu);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  Recreate({.scrollBars = TRUE});
  ASSERT_EQ(view.GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x84u);
}

TEST_F(ContainerHandler, ContextMenuOnlyWhenAllowedAlsoFromScript) {
  POINT point{};
  EXPECT_EQ(view.ShowContextMenu(0, &point, nullptr, nullptr), S_OK);  // S_OK: no menu at all

  const auto external = External();
  VARIANT on;
  VariantInit(&on);
  V_VT(&on) = VT_BOOL;
  V_BOOL(&on) = VARIANT_TRUE;
  ASSERT_EQ(CallByName(external.get(), L"allowcontextmenu", DISPATCH_PROPERTYPUT, {on}), S_OK);
  EXPECT_EQ(view.ShowContextMenu(0, &point, nullptr, nullptr), S_FALSE);

  UniqueVariant read;
  ASSERT_EQ(CallByName(external.get(), L"AllowContextMenu", DISPATCH_PROPERTYGET, {}, read.put()),
            S_OK);
  EXPECT_EQ(V_VT(&read.get()), VT_BOOL);
  EXPECT_EQ(V_BOOL(&read.get()), VARIANT_TRUE);
}

TEST_F(ContainerHandler, KeyFilterSwallowsCtrlNAndBlockedKeysButNeverTypedCharacters) {
  const auto translate = [&](UINT message, WPARAM key, bool control) {
    BYTE keys[256] = {};
    keys[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(keys);
    MSG msg{view.Handle(), message, key, 0, 0, {}};
    return view.TranslateAccelerator(&msg, nullptr, 0);
  };
  EXPECT_EQ(translate(WM_KEYDOWN, 'N', true), S_OK);
  EXPECT_EQ(translate(WM_KEYUP, 'N', true), S_OK);
  EXPECT_EQ(translate(WM_KEYDOWN, 'N', false), E_NOTIMPL);
  EXPECT_EQ(translate(WM_CHAR, 'N', true), E_NOTIMPL);
  EXPECT_EQ(translate(WM_KEYDOWN, VK_F5, false), E_NOTIMPL);  // the list is empty

  Recreate({.blockedKeys = {VK_F1, VK_F5}});
  EXPECT_EQ(translate(WM_KEYDOWN, VK_F5, false), S_OK);
  EXPECT_EQ(translate(WM_KEYUP, VK_F5, false), S_OK);
  EXPECT_EQ(translate(WM_CHAR, VK_F5, false), E_NOTIMPL);
  EXPECT_EQ(translate(WM_KEYDOWN, VK_F6, false), E_NOTIMPL);
  translate(WM_NULL, 0, false);
}

TEST_F(ContainerHandler, NavigationInstallsTheHandlerAndDocumentEventsBlockSelection) {
  view.NavigateComplete2(nullptr, nullptr);
  ASSERT_TRUE(document.uiHandler);
  EXPECT_EQ(document.uiHandler.query<IUnknown>().get(), External().query<IUnknown>().get());
  DOCHOSTUIINFO info{};
  ASSERT_EQ(document.uiHandler->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x8Cu);
  EXPECT_FALSE(document.documentEvents.sink);  // document events stay off by default

  Recreate({.documentEvents = TRUE});
  view.NavigateComplete2(nullptr, nullptr);
  ASSERT_TRUE(document.documentEvents.sink);
  const auto sink = document.documentEvents.sink.query<IDispatch>();
  ASSERT_TRUE(sink);

  DISPPARAMS none{};
  UniqueVariant result;
  ASSERT_EQ(sink->Invoke(DISPID_HTMLDOCUMENTEVENTS_ONSELECTSTART, IID_NULL, 0, DISPATCH_METHOD,
                         &none, result.put(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(V_BOOL(&result.get()), VARIANT_TRUE);
  EXPECT_EQ(document.window.event.returnType, VT_I2);
  EXPECT_EQ(document.window.event.returnValue, 0);

  ASSERT_EQ(sink->Invoke(DISPID_HTMLDOCUMENTEVENTS_ONKEYDOWN, IID_NULL, 0, DISPATCH_METHOD, &none,
                         result.put(), nullptr, nullptr),
            S_OK);
  EXPECT_EQ(V_VT(&result.get()), VT_ERROR);
  EXPECT_EQ(sink->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);

  // Reconnecting after the next navigation leaves one connection.
  view.NavigateComplete2(nullptr, nullptr);
  EXPECT_TRUE(view.DisconnectDocumentEvents());
  EXPECT_FALSE(document.documentEvents.sink);
}

TEST_F(ContainerHandler, ReferencesKeptPastTheWindowReachNothingAndFreeTheHostObjectWhenReleased) {
  Recreate({.documentEvents = TRUE});
  view.NavigateComplete2(nullptr, nullptr);
  // As a document or script engine that does not let go.
  ComPtr<IDispatch> external = External();
  ComPtr<IDocHostUIHandler> handler = document.uiHandler;
  ComPtr<IDispatch> sink = document.documentEvents.sink.query<IDispatch>();
  ASSERT_TRUE(handler);
  ASSERT_TRUE(sink);

  DestroyWindow(view.Handle());
  EXPECT_GT(ModuleLockCount(), locksBefore);
  const Text url(L"https://a.example/");
  EXPECT_EQ(CallByName(external.get(), L"CmdNavigate", DISPATCH_METHOD, {url}), E_UNEXPECTED);
  EXPECT_EQ(browser.navigated, L"");
  DOCHOSTUIINFO info{};
  EXPECT_EQ(handler->GetHostInfo(&info), E_UNEXPECTED);
  IDispatch* again = external.get();
  EXPECT_EQ(handler->GetExternal(&again), E_UNEXPECTED);
  EXPECT_EQ(again, nullptr);
  DISPPARAMS none{};
  EXPECT_EQ(sink->Invoke(DISPID_HTMLDOCUMENTEVENTS_ONSELECTSTART, IID_NULL, 0, DISPATCH_METHOD,
                         &none, nullptr, nullptr, nullptr),
            E_UNEXPECTED);
  EXPECT_EQ(document.window.event.returnType, VT_EMPTY);

  external.reset();
  handler.reset();
  sink.reset();
  EXPECT_EQ(ModuleLockCount(), locksBefore);
}

TEST_F(ContainerHandler, CancelCurrentEventComparesTheTagWithoutCase) {
  document.window.event.source.tagName = L"IMG";
  EXPECT_FALSE(view.CancelCurrentEvent(L"a"));
  EXPECT_EQ(document.window.event.returnType, VT_EMPTY);
  EXPECT_TRUE(view.CancelCurrentEvent(L"img"));
  EXPECT_EQ(document.window.event.returnValue, 0);

  browser.document = nullptr;
  EXPECT_FALSE(view.CancelCurrentEvent(nullptr));
  EXPECT_FALSE(view.InstallUIHandler());
  EXPECT_FALSE(view.ConnectDocumentEvents());
}

TEST_F(ContainerHandler, ScriptNavigatesTheViewItself) {
  const Text url(L"https://例え.example/a?b=\U0001F600");
  UniqueVariant result;
  ASSERT_EQ(CallByName(External().get(), L"CmdNavigate", DISPATCH_METHOD, {url}, result.put()),
            S_OK);
  EXPECT_EQ(browser.navigated, L"https://例え.example/a?b=\U0001F600");

  const Text word(L"x");
  EXPECT_EQ(CallByName(External().get(), L"CmdExecute", DISPATCH_METHOD, {word, word}),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(External().get(), L"NoSuchCommand", DISPATCH_METHOD, {}),
            DISP_E_UNKNOWNNAME);
}

TEST(IsBrowserBusy, ReadyOnlyWhenCompleteOrLoadingAndIdle) {
  stand_in::Browser browser;
  const auto busy = [&](READYSTATE state, bool busyFlag) {
    browser.readyState = state;
    browser.busy = busyFlag ? VARIANT_TRUE : VARIANT_FALSE;
    return IsBrowserBusy(&browser);
  };
  for (const bool flag : {false, true}) {
    EXPECT_TRUE(busy(READYSTATE_UNINITIALIZED, flag));
    EXPECT_TRUE(busy(READYSTATE_LOADED, flag));
    EXPECT_TRUE(busy(READYSTATE_INTERACTIVE, flag));
    EXPECT_FALSE(busy(READYSTATE_COMPLETE, flag));
  }
  EXPECT_FALSE(busy(READYSTATE_LOADING, false));
  EXPECT_TRUE(busy(READYSTATE_LOADING, true));
  EXPECT_TRUE(IsBrowserBusy(nullptr));
  EXPECT_EQ(browser.refs, 0u);
}

}  // namespace
