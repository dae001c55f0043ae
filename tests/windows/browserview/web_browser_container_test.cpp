#include "browserview/web_browser_container.h"

#include "browserview/web_browser_constants.h"
#include "framework/module.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
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
    // The view's class has no cursor, brush or style of its own: the page draws and points.
    WNDCLASSEXW info{.cbSize = sizeof(info)};
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"TavrinBrowserContainer", &info));
    EXPECT_EQ(info.hCursor, nullptr);
    EXPECT_EQ(info.hbrBackground, nullptr);
    EXPECT_EQ(info.style, 0u);

    const auto inPlace = ComPtr<IWebBrowser2>(view.HostedBrowser()).try_query<IOleInPlaceObject>();
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

// The container whose click handler a test chooses.
class ClickableContainer : public CWebBrowser2ContainerWnd {
 public:
  std::function<void()> onClick;

 protected:
  VARIANT_BOOL OnClick() override {
    if (onClick) onClick();
    return VARIANT_TRUE;
  }
};

// The container on the browser double, whose documents take its UI handler and its document-event
// sink as MSHTML does.
using ContainerHandler = OnDouble<ClickableContainer>;

// Fires a document event at the page shown, as MSHTML does for the user's action; the event
// afterwards, with what the handlers set.
ComPtr<IHTMLEventObj> Fire(IDoubleDocument* document, DISPID id, VARIANT* result = nullptr,
                           IHTMLElement* source = nullptr) {
  ComPtr<IHTMLEventObj> event;
  const test_double::CEventInit init{.source = source};
  EXPECT_TRUE(SUCCEEDED(document->FireEvent(id, &init, result, event.put())));
  return event;
}

// The type of the event's returnValue, VT_EMPTY when no handler set one, and its VT_I2 value.
std::pair<VARTYPE, SHORT> ReturnValue(IHTMLEventObj* event) {
  UniqueVariant value;
  if (event) event->get_returnValue(value.put());
  const VARIANT& v = value.get();
  return {V_VT(&v), V_VT(&v) == VT_I2 ? V_I2(&v) : SHORT{-1}};
}

long SinkCount(IDoubleDocument* document) {
  long count = -1;
  EXPECT_EQ(document->GetEventSinkCount(&count), S_OK);
  return count;
}

// Also the flags a document took from the client site when it was created, before the handler
// is installed at NavigateComplete2.
TEST_F(ContainerHandler, HostInfoFollowsTheScrollBarChoice) {
  const auto createdWith = [this] {
    DWORD flags = 0;
    EXPECT_EQ(Document()->GetHostFlags(&flags), S_OK);
    return flags;
  };
  Load();
  DOCHOSTUIINFO info{};
  info.cbSize = sizeof(info);
  info.dwDoubleClick = 99;
  ASSERT_TRUE(Handler());
  ASSERT_EQ(Handler()->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x8Cu);
  EXPECT_EQ(info.dwDoubleClick, 0u);
  EXPECT_EQ(createdWith(), 0x8Cu);
  Recreate({.scrollBars = TRUE});
  Load();
  ASSERT_TRUE(Handler());
  ASSERT_EQ(Handler()->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x84u);
  EXPECT_EQ(createdWith(), 0x84u);
}

TEST_F(ContainerHandler, ContextMenuOnlyWhenAllowedAlsoFromScript) {
  Load();
  const auto handler = Handler();
  ASSERT_TRUE(handler);
  POINT point{};
  EXPECT_EQ(handler->ShowContextMenu(0, &point, nullptr, nullptr), S_OK);  // S_OK: no menu at all

  const auto external = External();
  VARIANT on;
  VariantInit(&on);
  V_VT(&on) = VT_BOOL;
  V_BOOL(&on) = VARIANT_TRUE;
  ASSERT_EQ(CallByName(external.get(), L"allowcontextmenu", DISPATCH_PROPERTYPUT, {on}), S_OK);
  EXPECT_EQ(handler->ShowContextMenu(0, &point, nullptr, nullptr), S_FALSE);

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
    const auto handler = Handler();
    return handler ? handler->TranslateAccelerator(&msg, nullptr, 0) : E_UNEXPECTED;
  };
  Load();
  EXPECT_EQ(translate(WM_KEYDOWN, 'N', true), S_OK);
  EXPECT_EQ(translate(WM_KEYUP, 'N', true), S_OK);
  EXPECT_EQ(translate(WM_KEYDOWN, 'N', false), E_NOTIMPL);
  EXPECT_EQ(translate(WM_CHAR, 'N', true), E_NOTIMPL);
  EXPECT_EQ(translate(WM_KEYDOWN, VK_F5, false), E_NOTIMPL);  // the list is empty

  Recreate({.blockedKeys = {VK_F1, VK_F5}});
  Load();
  EXPECT_EQ(translate(WM_KEYDOWN, VK_F5, false), S_OK);
  EXPECT_EQ(translate(WM_KEYUP, VK_F5, false), S_OK);
  EXPECT_EQ(translate(WM_CHAR, VK_F5, false), E_NOTIMPL);
  EXPECT_EQ(translate(WM_KEYDOWN, VK_F6, false), E_NOTIMPL);
  translate(WM_NULL, 0, false);
}

TEST_F(ContainerHandler, NavigationInstallsTheHandlerAndDocumentEventsBlockSelection) {
  Load();
  ASSERT_TRUE(Handler());
  EXPECT_EQ(Handler().try_query<IUnknown>().get(), External().try_query<IUnknown>().get());
  DOCHOSTUIINFO info{};
  ASSERT_EQ(Handler()->GetHostInfo(&info), S_OK);
  EXPECT_EQ(info.dwFlags, 0x8Cu);
  EXPECT_EQ(SinkCount(Document().get()), 0);  // document events stay off by default

  Recreate({.documentEvents = TRUE});
  Load();
  const auto document = Document();
  ASSERT_EQ(SinkCount(document.get()), 1);

  UniqueVariant result;
  const auto selecting =
      Fire(document.get(), DISPID_HTMLDOCUMENTEVENTS_ONSELECTSTART, result.put());
  EXPECT_EQ(V_BOOL(&result.get()), VARIANT_TRUE);
  EXPECT_EQ(ReturnValue(selecting.get()).first, VT_I2);
  EXPECT_EQ(ReturnValue(selecting.get()).second, 0);
  const auto dragging = Fire(document.get(), DISPID_HTMLDOCUMENTEVENTS_ONDRAGSTART);
  EXPECT_EQ(ReturnValue(dragging.get()).first, VT_I2);

  const auto typing = Fire(document.get(), DISPID_HTMLDOCUMENTEVENTS_ONKEYDOWN, result.put());
  EXPECT_EQ(V_VT(&result.get()), VT_ERROR);
  EXPECT_EQ(ReturnValue(typing.get()).first, VT_EMPTY);  // typing goes on
  ComPtr<IDispatch> sink;
  ASSERT_EQ(document->GetEventSink(0, sink.put()), S_OK);
  DISPPARAMS none{};
  EXPECT_EQ(sink->Invoke(12345, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);

  // Every frame's completion reconnects to the same top document: one connection stays.
  view.NavigateComplete2(nullptr, nullptr);
  view.NavigateComplete2(nullptr, nullptr);
  EXPECT_EQ(SinkCount(document.get()), 1);
  EXPECT_TRUE(view.DisconnectDocumentEvents());
  EXPECT_EQ(SinkCount(document.get()), 0);
}

TEST_F(ContainerHandler, ReferencesKeptPastTheWindowReachNothingAndFreeTheHostObjectWhenReleased) {
  Recreate({.documentEvents = TRUE});
  Load();
  // As a document or script engine that does not let go.
  const auto document = Document();
  ComPtr<IWebBrowser2> browser(view.HostedBrowser());
  ComPtr<IDispatch> external = External();
  ComPtr<IDocHostUIHandler> handler = Handler();
  ComPtr<IDispatch> sink;
  ASSERT_TRUE(handler);
  ASSERT_EQ(document->GetEventSink(0, sink.put()), S_OK);

  DestroyWindow(view.Handle());
  EXPECT_GT(ModuleLockCount(), locksBefore);
  EXPECT_EQ(SinkCount(document.get()), 0);
  const Text url(L"https://a.example/");
  EXPECT_EQ(CallByName(external.get(), L"CmdNavigate", DISPATCH_METHOD, {url}), E_UNEXPECTED);
  UniqueBstr location;
  ASSERT_EQ(browser->get_LocationURL(location.put()), S_OK);
  EXPECT_STREQ(location.get(), L"about:blank");
  DOCHOSTUIINFO info{};
  EXPECT_EQ(handler->GetHostInfo(&info), E_UNEXPECTED);
  IDispatch* again = external.get();
  EXPECT_EQ(handler->GetExternal(&again), E_UNEXPECTED);
  EXPECT_EQ(again, nullptr);

  // A connection that outlived the window, as a leaked advise would.
  ComPtr<IConnectionPoint> point;
  ASSERT_EQ(document.try_query<IConnectionPointContainer>()->FindConnectionPoint(
                __uuidof(HTMLDocumentEvents), point.put()),
            S_OK);
  DWORD cookie = 0;
  ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
  ComPtr<IHTMLEventObj> event;
  const test_double::CEventInit init{};
  EXPECT_EQ(
      document->FireEvent(DISPID_HTMLDOCUMENTEVENTS_ONSELECTSTART, &init, nullptr, event.put()),
      E_UNEXPECTED);
  EXPECT_EQ(ReturnValue(event.get()).first, VT_EMPTY);
  EXPECT_EQ(point->Unadvise(cookie), S_OK);

  external.reset();
  handler.reset();
  sink.reset();
  EXPECT_EQ(ModuleLockCount(), locksBefore);
}

TEST_F(ContainerHandler, CancelCurrentEventComparesTheTagWithoutCase) {
  // Without a page, or outside an event, there is nothing to cancel.
  EXPECT_FALSE(view.CancelCurrentEvent(nullptr));
  EXPECT_FALSE(view.InstallUIHandler());
  EXPECT_FALSE(view.ConnectDocumentEvents());

  Recreate({.documentEvents = TRUE});
  Load();
  EXPECT_FALSE(view.CancelCurrentEvent(nullptr));
  const auto body = Body();
  ASSERT_TRUE(body);
  const Text markup(L"<img src=\"x.png\"><a href=\"y.html\">y</a>");
  ASSERT_EQ(body->put_innerHTML(markup.get()), S_OK);
  ComPtr<IHTMLElementCollection> images;
  ASSERT_EQ(Document().try_query<IHTMLDocument2>()->get_images(images.put()), S_OK);
  VARIANT first;
  VariantInit(&first);
  V_VT(&first) = VT_I4;
  V_I4(&first) = 0;
  ComPtr<IDispatch> image;
  ASSERT_EQ(images->item(first, first, image.put()), S_OK);
  ASSERT_TRUE(image.try_query<IHTMLElement>());

  std::vector<BOOL> answers;
  const wchar_t* tag = L"a";
  view.onClick = [&] { answers.push_back(view.CancelCurrentEvent(tag)); };
  auto event = Fire(Document().get(), DISPID_HTMLDOCUMENTEVENTS_ONCLICK, nullptr,
                    image.try_query<IHTMLElement>().get());
  EXPECT_EQ(answers, std::vector<BOOL>{FALSE});
  EXPECT_EQ(ReturnValue(event.get()).first, VT_EMPTY);

  tag = L"img";
  event = Fire(Document().get(), DISPID_HTMLDOCUMENTEVENTS_ONCLICK, nullptr,
               image.try_query<IHTMLElement>().get());
  EXPECT_EQ(answers, (std::vector<BOOL>{FALSE, TRUE}));
  EXPECT_EQ(ReturnValue(event.get()).first, VT_I2);
  EXPECT_EQ(ReturnValue(event.get()).second, 0);
  view.onClick = nullptr;
}

TEST_F(ContainerHandler, ScriptNavigatesTheViewItself) {
  NavigationRecorder recorder;
  view.SetEventHandler(&recorder);
  Load();
  recorder.events.clear();
  const Text url(L"https://例え.example/a?b=\U0001F600");
  UniqueVariant result;
  ASSERT_EQ(CallByName(External().get(), L"CmdNavigate", DISPATCH_METHOD, {url}, result.put()),
            S_OK);
  ASSERT_FALSE(recorder.events.empty());
  EXPECT_EQ(recorder.events.front(), L"BeforeNavigate2 https://例え.example/a?b=\U0001F600");

  const Text word(L"x");
  EXPECT_EQ(CallByName(External().get(), L"CmdExecute", DISPATCH_METHOD, {word, word}),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallByName(External().get(), L"NoSuchCommand", DISPATCH_METHOD, {}),
            DISP_E_UNKNOWNNAME);
  test_double_test::PumpUntilIdle(view.HostedBrowser());
  view.SetEventHandler(nullptr);
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
