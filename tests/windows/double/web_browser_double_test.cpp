#include "web_browser_double.h"

#include "../dialogs/dialog_driver.h"
#include "browserview/web_browser_container.h"
#include "framework/module.h"
#include "framework/text.h"
#include "framework/unique_any.h"
#include "mshtml_double.h"
#include "web_browser_double_test.h"

#include <gtest/gtest.h>

#include <exdispid.h>

#include <algorithm>

#include <string>
#include <vector>

using namespace tavrin;
using test_double::CWebBrowserDouble;
using test_double_test::PumpUntilIdle;
using test_double_test::Recorder;

namespace {

class DoubleNavigation : public testing::Test {
 protected:
  void SetUp() override {
    SetEnvironmentVariableW(test_double::kPagesVariable, TAVRIN_DOUBLE_PAGES_DIR);
    locksBefore = ModuleLockCount();
    ASSERT_EQ(CreateComObject<CWebBrowserDouble>(nullptr, IID_IWebBrowser2, browser.put_void()),
              S_OK);
    sink = new ComObject<CWebBrowserEvents2>();
    ResetRecorder();
    const auto container = browser.try_query<IConnectionPointContainer>();
    ASSERT_TRUE(container);
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.put()), S_OK);
    ASSERT_EQ(point->Advise(static_cast<IDispatch*>(sink.get()), &cookie), S_OK);
  }
  void TearDown() override {
    if (point) point->Unadvise(cookie);
    point.reset();
    sink.reset();
    browser.reset();
    EXPECT_EQ(ModuleLockCount(), locksBefore)
        << "a browser, frame browser or sink still referenced";
  }

  // A new recorder, which numbers the frame browsers afresh.
  void ResetRecorder() {
    recorder = std::make_unique<Recorder>();
    recorder->top = browser.get();
    sink->SetHandler(recorder.get());
  }

  HRESULT Navigate(const wchar_t* url) {
    const UniqueBstr address(SysAllocString(url));
    VARIANT empty;
    VariantInit(&empty);
    return browser->Navigate(address.get(), &empty, &empty, &empty, &empty);
  }

  std::wstring LocationUrl() {
    UniqueBstr url;
    EXPECT_EQ(browser->get_LocationURL(url.put()), S_OK);
    return url ? std::wstring(url.get()) : L"";
  }

  ComPtr<IHTMLDocument2> Document() {
    ComPtr<IDispatch> document;
    EXPECT_EQ(browser->get_Document(document.put()), S_OK);
    return document.try_query<IHTMLDocument2>();
  }

  bool Busy() {
    VARIANT_BOOL busy = VARIANT_TRUE;
    EXPECT_EQ(browser->get_Busy(&busy), S_OK);
    return busy != VARIANT_FALSE;
  }

  LONG locksBefore = 0;
  ComPtr<IWebBrowser2> browser;
  std::unique_ptr<Recorder> recorder;
  ComPtr<ComObject<CWebBrowserEvents2>> sink;
  ComPtr<IConnectionPoint> point;
  DWORD cookie = 0;
};

const wchar_t kAddress[] = L"http://example.test/none.html";

TEST_F(DoubleNavigation, CompletionsComeFromTheMessageLoopWithBusyUntilTheLast) {
  ASSERT_EQ(Navigate(kAddress), S_OK);
  // Only BeforeNavigate2 runs inside Navigate.
  EXPECT_EQ(recorder->events,
            std::vector<std::wstring>{L"BeforeNavigate2 0 " + std::wstring(kAddress)});
  EXPECT_TRUE(Busy());
  READYSTATE state = READYSTATE_COMPLETE;
  ASSERT_EQ(browser->get_ReadyState(&state), S_OK);
  EXPECT_LT(state, READYSTATE_COMPLETE);
  EXPECT_EQ(LocationUrl(), L"");
  EXPECT_TRUE(IsBrowserBusy(browser.get()));

  PumpUntilIdle(browser.get());
  const std::wstring address(kAddress);
  EXPECT_EQ(recorder->events, (std::vector<std::wstring>{L"BeforeNavigate2 0 " + address,
                                                         L"NavigateComplete2 0 " + address,
                                                         L"DocumentComplete 0 " + address}));
  ASSERT_EQ(recorder->states.size(), 3u);
  EXPECT_TRUE(recorder->states[1].first);
  EXPECT_LT(recorder->states[1].second, READYSTATE_COMPLETE);
  EXPECT_FALSE(recorder->states[2].first);
  EXPECT_EQ(recorder->states[2].second, READYSTATE_COMPLETE);
  EXPECT_EQ(LocationUrl(), address);
  EXPECT_FALSE(Busy());
  EXPECT_FALSE(IsBrowserBusy(browser.get()));
}

// Each way of ending a load early: after it, no further event arrives and the browser is idle
// on the page it showed before.
TEST_F(DoubleNavigation, CancelStopAndQuitEndTheLoad) {
  const std::wstring address(kAddress);
  const std::wstring before = L"BeforeNavigate2 0 " + address;
  struct Case {
    const char* name;
    std::function<void()> end;
    std::vector<std::wstring> events;
  };
  const Case cases[] = {
      {"Cancel in BeforeNavigate2",
       [this] {
         recorder->react = [](const std::wstring&, VARIANT_BOOL* cancel) {
           if (cancel) *cancel = VARIANT_TRUE;
         };
         Navigate(kAddress);
         recorder->react = nullptr;
       },
       {before}},
      {"Stop",
       [this] {
         Navigate(kAddress);
         browser->Stop();
       },
       {before}},
      {"Quit",
       [this] {
         Navigate(kAddress);
         browser->Quit();
       },
       {before, L"OnQuit"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder->events.clear();
    c.end();
    PumpMessages(200);
    EXPECT_EQ(recorder->events, c.events);
    EXPECT_FALSE(Busy());
    READYSTATE state = READYSTATE_UNINITIALIZED;
    ASSERT_EQ(browser->get_ReadyState(&state), S_OK);
    EXPECT_EQ(state, READYSTATE_COMPLETE);
    EXPECT_FALSE(IsBrowserBusy(browser.get()));
    EXPECT_EQ(LocationUrl(), L"");
  }
}

TEST_F(DoubleNavigation, ANewNavigationReplacesTheOneStillLoading) {
  ASSERT_EQ(Navigate(L"http://example.test/first.html"), S_OK);
  ASSERT_EQ(Navigate(L"http://example.test/second.html"), S_OK);
  PumpUntilIdle(browser.get());
  PumpMessages(100);
  EXPECT_EQ(recorder->events,
            (std::vector<std::wstring>{L"BeforeNavigate2 0 http://example.test/first.html",
                                       L"BeforeNavigate2 0 http://example.test/second.html",
                                       L"NavigateComplete2 0 http://example.test/second.html",
                                       L"DocumentComplete 0 http://example.test/second.html"}));
}

// A handler that lets every reference go while the browser delivers a frame's event: the load
// ends there, and nothing is left behind (checked by TearDown).
TEST_F(DoubleNavigation, AHandlerMayReleaseTheBrowserDuringAnEvent) {
  recorder->react = [this](const std::wstring& event, VARIANT_BOOL*) {
    if (event.starts_with(L"NavigateComplete2 1")) {
      point.reset();
      browser.reset();
    }
  };
  ASSERT_EQ(Navigate(L"http://example.test/frames.html"), S_OK);
  PumpMessages(200);
  EXPECT_EQ(recorder->events.size(), 4u);
  EXPECT_FALSE(browser);
}

TEST_F(DoubleNavigation, ASinkThatUnadvisesInItsHandlerGetsNoMoreEvents) {
  recorder->react = [this](const std::wstring&, VARIANT_BOOL*) {
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    recorder->react = nullptr;
  };
  ASSERT_EQ(Navigate(kAddress), S_OK);
  PumpUntilIdle(browser.get());
  EXPECT_EQ(recorder->events.size(), 1u);
  point.reset();
}

TEST_F(DoubleNavigation, VisibleStatusTextAndApplication) {
  ASSERT_EQ(browser->put_Visible(VARIANT_FALSE), S_OK);
  VARIANT_BOOL visible = VARIANT_TRUE;
  ASSERT_EQ(browser->get_Visible(&visible), S_OK);
  EXPECT_EQ(visible, VARIANT_FALSE);
  ASSERT_EQ(browser->put_Visible(VARIANT_TRUE), S_OK);
  EXPECT_EQ(recorder->events, (std::vector<std::wstring>{L"OnVisible 0", L"OnVisible 1"}));

  const UniqueBstr text(SysAllocString(L"読み込み中"));
  ASSERT_EQ(browser->put_StatusText(text.get()), S_OK);
  UniqueBstr read;
  ASSERT_EQ(browser->get_StatusText(read.put()), S_OK);
  EXPECT_STREQ(read.get(), L"読み込み中");

  // The host asks the application object to translate its keys; the control has none of its own.
  ComPtr<IDispatch> application;
  ASSERT_EQ(browser->get_Application(application.put()), S_OK);
  EXPECT_EQ(application.try_query<IUnknown>().get(), browser.try_query<IUnknown>().get());
  const auto active = application.try_query<IOleInPlaceActiveObject>();
  ASSERT_TRUE(active);
  MSG key{nullptr, WM_KEYDOWN, VK_F5, 0, 0, {}};
  EXPECT_EQ(active->TranslateAccelerator(&key), S_FALSE);
}

// Records the kinds of the arguments exactly as the browser passes them, last first.
class RawSink : public UntypedDispatch, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    static const InterfaceEntry table[] = {
        InterfaceOf<RawSink, IDispatch>(),
        {&DIID_DWebBrowserEvents2,
         [](void* object) -> IUnknown* { return static_cast<RawSink*>(object); }},
    };
    return table;
  }

  std::vector<std::vector<VARTYPE>> kinds;

  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                      EXCEPINFO*, UINT*) noexcept override {
    if (id != DISPID_BEFORENAVIGATE2 && id != DISPID_NAVIGATECOMPLETE2 &&
        id != DISPID_DOCUMENTCOMPLETE) {
      return S_OK;
    }
    EXPECT_TRUE(IsEqualIID(riid, IID_NULL));
    EXPECT_EQ(flags, DISPATCH_METHOD);
    std::vector<VARTYPE> seen;
    for (UINT i = 0; i < params->cArgs; ++i) {
      const VARIANT& arg = params->rgvarg[i];
      seen.push_back(V_VT(&arg));
      if (V_VT(&arg) == (VT_BYREF | VT_VARIANT)) seen.push_back(V_VT(V_VARIANTREF(&arg)));
    }
    kinds.push_back(seen);
    return S_OK;
  }
};

TEST_F(DoubleNavigation, EventArgumentsHaveTheBrowsersKindsLastFirst) {
  ComPtr<ComObject<RawSink>> raw(new ComObject<RawSink>());
  DWORD rawCookie = 0;
  ASSERT_EQ(point->Advise(static_cast<IDispatch*>(raw.get()), &rawCookie), S_OK);
  ASSERT_EQ(Navigate(kAddress), S_OK);
  PumpUntilIdle(browser.get());
  ASSERT_EQ(point->Unadvise(rawCookie), S_OK);

  constexpr VARTYPE byRef = VT_BYREF | VT_VARIANT;
  const std::vector<VARTYPE> completion{byRef, VT_BSTR, VT_DISPATCH};
  EXPECT_EQ(raw->kinds, (std::vector<std::vector<VARTYPE>>{
                            {VT_BYREF | VT_BOOL, byRef, VT_BSTR, byRef, VT_EMPTY, byRef, VT_BSTR,
                             byRef, VT_I4, byRef, VT_BSTR, VT_DISPATCH},
                            completion,
                            completion}));
}

TEST_F(DoubleNavigation, OnlyItsOwnOutgoingInterfaceConnects) {
  const auto container = browser.try_query<IConnectionPointContainer>();
  ComPtr<IConnectionPoint> other;
  EXPECT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents, other.put()),
            CONNECT_E_NOCONNECTION);
  EXPECT_FALSE(other);

  // A sink that is a plain IDispatch, without the outgoing interface, is refused.
  ComPtr<IDispatch> plain(static_cast<IDispatch*>(browser.get()));
  DWORD refused = 99;
  EXPECT_EQ(point->Advise(plain.get(), &refused), CONNECT_E_CANNOTCONNECT);
  EXPECT_EQ(refused, 0u);
  EXPECT_EQ(point->Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);

  ComPtr<IConnectionPointContainer> back;
  ASSERT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
  EXPECT_EQ(back.try_query<IUnknown>().get(), browser.try_query<IUnknown>().get());
}

// Frames start depth-first once the top document has arrived and complete innermost first, the
// top document last; each frame's events carry its own browser, which shows its document. The
// frameset's second frame is refused to the page, so it has no events; a cancelled frame loads
// neither itself nor its frames.
TEST_F(DoubleNavigation, FramesCompleteBeforeTheTopDocumentEachWithItsOwnBrowser) {
  const std::wstring top = L"http://example.test/frames.html";
  const std::wstring left = L"http://example.test/left.html";
  const std::wstring inner = L"http://example.test/inner.html";
  const std::wstring right = L"http://example.test/right.html";
  struct Case {
    std::wstring cancel;
    std::vector<std::wstring> events;
    std::vector<std::wstring> documents;
  };
  const Case cases[] = {
      {L"",
       {L"BeforeNavigate2 0 " + top, L"NavigateComplete2 0 " + top, L"BeforeNavigate2 1 " + left,
        L"NavigateComplete2 1 " + left, L"BeforeNavigate2 2 " + inner,
        L"NavigateComplete2 2 " + inner, L"BeforeNavigate2 3 " + right,
        L"NavigateComplete2 3 " + right, L"DocumentComplete 2 " + inner,
        L"DocumentComplete 1 " + left, L"DocumentComplete 3 " + right,
        L"DocumentComplete 0 " + top},
       {top, left, inner, right, inner, left, right, top}},
      {L"BeforeNavigate2 1 " + left,
       {L"BeforeNavigate2 0 " + top, L"NavigateComplete2 0 " + top, L"BeforeNavigate2 1 " + left,
        L"BeforeNavigate2 2 " + right, L"NavigateComplete2 2 " + right,
        L"DocumentComplete 2 " + right, L"DocumentComplete 0 " + top},
       {top, right, right, top}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.cancel));
    ResetRecorder();
    recorder->react = [&c](const std::wstring& event, VARIANT_BOOL* cancel) {
      if (event == c.cancel) *cancel = VARIANT_TRUE;
    };
    ASSERT_EQ(Navigate(top.c_str()), S_OK);
    PumpUntilIdle(browser.get());
    EXPECT_EQ(recorder->events, c.events);
    EXPECT_EQ(recorder->documents, c.documents);
    // From the top document's arrival to the last completion the load is on.
    for (size_t i = 1; i + 1 < recorder->states.size(); ++i) {
      EXPECT_TRUE(recorder->states[i].first) << i;
      EXPECT_LT(recorder->states[i].second, READYSTATE_COMPLETE) << i;
    }
    EXPECT_EQ(recorder->states.back(), std::make_pair(false, READYSTATE_COMPLETE));
  }
}

// The documents of a page: the top one, then its frames' depth-first, as NavigateFrame counts them.
std::vector<ComPtr<IHTMLDocument2>> PageDocuments(ComPtr<IHTMLDocument2> top) {
  std::vector<ComPtr<IHTMLDocument2>> documents{top};
  for (auto& frame : test_double::FrameDocuments(top.get())) {
    for (auto& inner : PageDocuments(std::move(frame))) documents.push_back(std::move(inner));
  }
  return documents;
}

// A frame that completes late and a frame that navigates again, during the load or after it.
// Each navigation brings new documents for the frame and the frames inside it; the replaced ones,
// and their elements, collections and windows, answer E_UNEXPECTED from then on.
TEST_F(DoubleNavigation, FramesCompleteLateAndNavigateAgainWithNewDocuments) {
  const std::wstring top = L"http://example.test/frames.html";
  const std::wstring left = L"http://example.test/left.html";
  const std::wstring inner = L"http://example.test/inner.html";
  const std::wstring right = L"http://example.test/right.html";
  const std::vector<std::wstring> started = {
      L"BeforeNavigate2 0 " + top,   L"NavigateComplete2 0 " + top,
      L"BeforeNavigate2 1 " + left,  L"NavigateComplete2 1 " + left,
      L"BeforeNavigate2 2 " + inner, L"NavigateComplete2 2 " + inner,
      L"BeforeNavigate2 3 " + right, L"NavigateComplete2 3 " + right};
  const auto then = [&](std::vector<std::wstring> more) {
    std::vector<std::wstring> events = started;
    events.insert(events.end(), more.begin(), more.end());
    return events;
  };
  struct Case {
    const char* name;
    int held;        // the frame whose completion waits; -1: none
    UINT navigated;  // the frame that navigates again; 0: none
    bool whileHeld;  // looked at (and navigated) while the held frame waits, else after the load
    std::vector<std::wstring> events;
    std::vector<size_t> renewed;  // of the page's documents, as PageDocuments lists them
  };
  const Case cases[] = {
      {"a frame completes late, its sibling before it",
       1,
       0,
       true,
       then({L"DocumentComplete 2 " + inner, L"DocumentComplete 3 " + right,
             L"DocumentComplete 1 " + left, L"DocumentComplete 0 " + top}),
       {}},
      {"a frame navigates after the load, with the frame inside it",
       -1,
       1,
       false,
       then({L"DocumentComplete 2 " + inner, L"DocumentComplete 1 " + left,
             L"DocumentComplete 3 " + right, L"DocumentComplete 0 " + top,
             L"BeforeNavigate2 1 " + left, L"NavigateComplete2 1 " + left,
             L"BeforeNavigate2 2 " + inner, L"NavigateComplete2 2 " + inner,
             L"DocumentComplete 2 " + inner, L"DocumentComplete 1 " + left}),
       {1, 2}},
      {"a frame reloads while the top document waits",
       0,
       3,
       true,
       then({L"DocumentComplete 2 " + inner, L"DocumentComplete 1 " + left,
             L"DocumentComplete 3 " + right, L"BeforeNavigate2 3 " + right,
             L"NavigateComplete2 3 " + right, L"DocumentComplete 3 " + right,
             L"DocumentComplete 0 " + top}),
       {3}},
  };
  const std::vector<std::wstring> addresses = {top, left, inner, right};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetRecorder();
    auto control = browser.try_query<IWebBrowserDoubleControl>();
    ASSERT_TRUE(control);
    if (c.held >= 0) {
      ASSERT_EQ(control->HoldFrame(static_cast<UINT>(c.held), TRUE), S_OK);
    }
    ASSERT_EQ(Navigate(top.c_str()), S_OK);
    PumpMessages(300);
    EXPECT_EQ(Busy(), c.held >= 0);
    if (!c.whileHeld) PumpUntilIdle(browser.get());
    // What a walk over the page holds before the navigation.
    const std::vector<ComPtr<IHTMLDocument2>> before = PageDocuments(Document());
    ASSERT_EQ(before.size(), 4u);
    std::vector<ComPtr<IHTMLElementCollection>> links;
    std::vector<ComPtr<IHTMLWindow2>> windows;
    std::vector<ComPtr<IHTMLElement>> bodies;
    for (const auto& document : before) {
      ASSERT_EQ(document->get_links(links.emplace_back().put()), S_OK);
      ASSERT_EQ(document->get_parentWindow(windows.emplace_back().put()), S_OK);
      ASSERT_EQ(document->get_body(bodies.emplace_back().put()), S_OK);
    }
    if (c.navigated) {
      ASSERT_EQ(control->NavigateFrame(c.navigated), S_OK);
      PumpMessages(300);
      EXPECT_EQ(Busy(), c.held >= 0);
    }
    if (c.held >= 0) {
      ASSERT_EQ(control->HoldFrame(static_cast<UINT>(c.held), FALSE), S_OK);
    }
    PumpUntilIdle(browser.get());
    EXPECT_EQ(recorder->events, c.events);
    READYSTATE state = READYSTATE_UNINITIALIZED;
    ASSERT_EQ(browser->get_ReadyState(&state), S_OK);
    EXPECT_EQ(state, READYSTATE_COMPLETE);

    const std::vector<ComPtr<IHTMLDocument2>> after = PageDocuments(Document());
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
      SCOPED_TRACE(i);
      const bool renewed = std::ranges::find(c.renewed, i) != c.renewed.end();
      EXPECT_EQ(after[i].get() != before[i].get(), renewed);
      EXPECT_EQ(test_double::DocumentUrl(after[i].get()), addresses[i]);
      const HRESULT expected = renewed ? E_UNEXPECTED : S_OK;
      UniqueBstr url;
      long length = 0;
      ComPtr<IHTMLDocument2> shown;
      UniqueBstr markup;
      EXPECT_EQ(before[i]->get_URL(url.put()), expected);
      EXPECT_EQ(links[i]->get_length(&length), expected);
      EXPECT_EQ(windows[i]->get_document(shown.put()), expected);
      if (bodies[i]) {
        EXPECT_EQ(bodies[i]->get_innerHTML(markup.put()), expected);
      }
    }
  }
}

// Where each kind of address finds its document, and what the window will paint of it.
TEST_F(DoubleNavigation, AddressesFindTheirDocuments) {
  const std::wstring program = ModuleFileName();
  const std::wstring resource = L"res://" + program + L"/201";
  struct Case {
    std::wstring url;
    bool document;
    std::vector<std::wstring> links;
  };
  const Case cases[] = {
      {L"http://example.test/links.html", true, {L"First link", L"Second link", L"日本語のリンク"}},
      {L"about:blank", true, {}},
      {resource, true, {L"Link in a resource"}},
      {L"res://" + program + L"/202", false, {}},
      {L"res://Z:\\no\\such.dll/201", false, {}},
      {L"http://example.test/unlisted.html", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.url));
    ASSERT_EQ(Navigate(c.url.c_str()), S_OK);
    PumpUntilIdle(browser.get());
    const auto document = Document();
    ASSERT_EQ(static_cast<bool>(document), c.document);
    EXPECT_EQ(LocationUrl(), c.url);
    if (document) {
      EXPECT_EQ(test_double::DocumentUrl(document.get()), c.url);
    }
    EXPECT_EQ(test_double::LinkTexts(document.get()), c.links);
  }
}

TEST_F(DoubleNavigation, ASnapshotThatCannotBeReadFailsTheNavigation) {
  EXPECT_TRUE(FAILED(Navigate(L"http://example.test/broken.html")));
  EXPECT_FALSE(Busy());
  PumpMessages(100);
  EXPECT_EQ(recorder->events.size(), 1u);
}

TEST_F(DoubleNavigation, RefreshLoadsTheDocumentAgainWithoutEvents) {
  ASSERT_EQ(Navigate(L"http://example.test/links.html"), S_OK);
  PumpUntilIdle(browser.get());
  const auto first = Document();
  recorder->events.clear();
  ASSERT_EQ(browser->Refresh(), S_OK);
  PumpMessages(100);
  EXPECT_TRUE(recorder->events.empty());
  const auto second = Document();
  ASSERT_TRUE(second);
  EXPECT_NE(second.get(), first.get());
  EXPECT_EQ(test_double::DocumentUrl(second.get()), L"http://example.test/links.html");
}

}  // namespace
