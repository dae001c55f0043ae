#pragma once
// What the WebBrowser double's tests share: a handler that records the navigation events, and a
// message loop that runs until a load has ended.

#include "browserview/web_browser_events.h"
#include "framework/com_ptr.h"
#include "web_browser_double_pages.h"

#include <exdisp.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace test_double_test {

// Runs the message loop until the browser is no longer busy, at most ten seconds, since a loaded
// machine is slow.
inline void PumpUntilIdle(IWebBrowser2* browser) {
  const DWORD start = GetTickCount();
  VARIANT_BOOL busy = VARIANT_TRUE;
  while (SUCCEEDED(browser->get_Busy(&busy)) && busy && GetTickCount() - start < 10000) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(1);
  }
}

inline std::wstring Text(const VARIANT* url) {
  return url && V_VT(url) == VT_BSTR ? std::wstring(V_BSTR(url), SysStringLen(V_BSTR(url))) : L"?";
}

// Records the navigation events as "Event BROWSER URL", BROWSER being 0 for the top browser and
// then 1, 2, ... for the frame browsers in order of first appearance, with the top browser's
// Busy and ReadyState at each, and the address of the document that the event's browser shows at
// each completion.
class Recorder final : public tavrin::CWebBrowserEventHandler {
 public:
  // The browser whose events these are; not owned.
  IWebBrowser2* top = nullptr;
  std::vector<std::wstring> events;
  std::vector<std::pair<bool, READYSTATE>> states;
  std::vector<std::wstring> documents;
  // Called after each recorded event; may cancel a BeforeNavigate2.
  std::function<void(const std::wstring& event, VARIANT_BOOL* cancel)> react;

  void BeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT*, VARIANT*, VARIANT*, VARIANT*,
                       VARIANT_BOOL* cancel) override {
    Record(L"BeforeNavigate2", pDisp, url, cancel);
  }
  void NavigateComplete2(IDispatch* pDisp, VARIANT* url) override {
    Record(L"NavigateComplete2", pDisp, url, nullptr);
    RecordDocument(pDisp);
  }
  void DocumentComplete(IDispatch* pDisp, VARIANT* url) override {
    Record(L"DocumentComplete", pDisp, url, nullptr);
    RecordDocument(pDisp);
  }
  void OnQuit() override { events.push_back(L"OnQuit"); }
  void OnVisible(BOOL visible) override {
    events.push_back(visible ? L"OnVisible 1" : L"OnVisible 0");
  }

 private:
  static IUnknown* Identity(IUnknown* object) {
    return tavrin::ComPtr<IUnknown>(object).try_query<IUnknown>().get();
  }

  void Record(const wchar_t* name, IDispatch* pDisp, VARIANT* url, VARIANT_BOOL* cancel) {
    IUnknown* const identity = Identity(pDisp);
    size_t index = 0;
    if (identity != Identity(top)) {
      while (index < m_frames.size() && m_frames[index] != identity) ++index;
      if (index == m_frames.size()) m_frames.push_back(identity);
      ++index;
    }
    events.push_back(std::wstring(name) + L" " + std::to_wstring(index) + L" " + Text(url));
    VARIANT_BOOL busy = VARIANT_FALSE;
    READYSTATE state = READYSTATE_UNINITIALIZED;
    if (top) {
      top->get_Busy(&busy);
      top->get_ReadyState(&state);
    }
    states.emplace_back(busy != VARIANT_FALSE, state);
    if (react) react(events.back(), cancel);
  }

  void RecordDocument(IDispatch* pDisp) {
    tavrin::ComPtr<IDispatch> document;
    const auto browser = tavrin::ComPtr<IDispatch>(pDisp).try_query<IWebBrowser2>();
    if (browser) browser->get_Document(document.put());
    documents.push_back(
        tavrin::test_double::DocumentUrl(document.try_query<IHTMLDocument2>().get()));
  }

  std::vector<IUnknown*> m_frames;
};

}  // namespace test_double_test
