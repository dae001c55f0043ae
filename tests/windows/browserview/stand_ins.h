#pragma once
// What the view tests share: a browser stand-in for the free functions, and a fixture that runs a
// view on the browser double, registered as the WebBrowser control while the test runs.

#include "browserview/web_browser_container.h"
#include "framework/com_ptr.h"
#include "framework/hresult.h"
#include "framework/module.h"
#include "framework/unique_any.h"
#include "mshtml_double.h"
#include "not_implemented.h"
#include "web_browser_double_registration.h"
#include "web_browser_double_test.h"
#include "../not_implemented_dispatch.h"

#include <gtest/gtest.h>
#include <mshtml.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace stand_in {

// Lives on the test's stack and counts its references, so a test can see that all came back.
class Browser final : public NotImplDispatch<NotImplWebBrowser2> {
 public:
  ULONG refs = 0;
  VARIANT_BOOL busy = VARIANT_FALSE;
  READYSTATE readyState = READYSTATE_COMPLETE;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDispatch) &&
        !IsEqualIID(riid, IID_IWebBrowser2)) {
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP get_Busy(VARIANT_BOOL* p) override {
    *p = busy;
    return S_OK;
  }
  STDMETHODIMP get_ReadyState(READYSTATE* p) override {
    *p = readyState;
    return S_OK;
  }
};

}  // namespace stand_in

// A container (or subclass) under test, with its control and a protected event open to the test.
template <class Base>
class Testable final : public tavrin::CWindow<Base> {
 public:
  using Base::NavigateComplete2;
  IWebBrowser2* HostedBrowser() const { return this->m_pBrowser.get(); }
};

// A hidden top-level window for the view to live in.
class ParentWindow {
 public:
  ParentWindow()
      : m_hWnd(CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 400,
                               300, nullptr, nullptr, nullptr, nullptr)) {}
  ParentWindow(const ParentWindow&) = delete;
  ParentWindow& operator=(const ParentWindow&) = delete;
  ~ParentWindow() { DestroyWindow(m_hWnd); }
  HWND Handle() const { return m_hWnd; }

 private:
  HWND m_hWnd;
};

// Calls a script member of window.external by name, as a page's script does.
inline HRESULT CallByName(IDispatch* external, const wchar_t* name, WORD flags,
                          std::initializer_list<VARIANT> args, VARIANT* result = nullptr) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = DISPID_UNKNOWN;
  RETURN_IF_FAILED(external->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  std::vector<VARIANT> reversed(args.begin(), args.end());
  std::reverse(reversed.begin(), reversed.end());
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  if (flags & DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  return external->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

// A VT_BSTR that keeps its text alive for the call.
class Text {
 public:
  explicit Text(const wchar_t* text) : m_text(SysAllocString(text)) {}
  operator VARIANT() const {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = m_text.get();
    return v;
  }
  BSTR get() const { return m_text.get(); }

 private:
  tavrin::UniqueBstr m_text;
};

// A view of class View on the browser double. Each test ends with every reference given back:
// the view's host object (the module lock) and the double's browser and documents.
template <class View>
class OnDouble : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(registration.Registered());
    locksBefore = tavrin::ModuleLockCount();
    Recreate({});
  }
  void TearDown() override {
    DestroyWindow(view.Handle());
    EXPECT_EQ(tavrin::ModuleLockCount(), locksBefore) << "a host object still referenced";
    const HMODULE module = GetModuleHandleW(test_double_test::ScopedDoubleRegistration::kDll);
    ASSERT_TRUE(module);
    const auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(canUnload);
    EXPECT_EQ(canUnload(), S_OK) << "the view left a reference on the double or a document";
  }

  // The view again, created with the owner's choices.
  void Recreate(typename View::CreateArgs args) {
    if (view.Handle()) DestroyWindow(view.Handle());
    args.parent = parent.Handle();
    args.style = WS_CHILD | WS_VISIBLE;
    args.id = 100;
    ASSERT_TRUE(view.Create(std::move(args)));
  }

  // Navigates the view and runs its events until the page has loaded.
  void Load(const wchar_t* url = L"about:blank") {
    ASSERT_TRUE(view.Navigate(url));
    test_double_test::PumpUntilIdle(view.HostedBrowser());
  }

  // The document the double shows now; empty before the first load.
  tavrin::ComPtr<IDoubleDocument> Document() {
    tavrin::ComPtr<IDispatch> document;
    if (FAILED(view.HostedBrowser()->get_Document(document.put()))) return {};
    return document.template try_query<IDoubleDocument>();
  }
  // What the document calls as its host, as MSHTML would.
  tavrin::ComPtr<IDocHostUIHandler> Handler() {
    tavrin::ComPtr<IDocHostUIHandler> handler;
    if (const auto document = Document()) document->GetUIHandler(handler.put());
    return handler;
  }
  // The page's window.external.
  tavrin::ComPtr<IDispatch> External() {
    tavrin::ComPtr<IDispatch> external;
    const auto handler = Handler();
    EXPECT_TRUE(handler);
    if (handler) {
      EXPECT_EQ(handler->GetExternal(external.put()), S_OK);
    }
    return external;
  }
  // The body of the page shown.
  tavrin::ComPtr<IHTMLElement> Body() {
    tavrin::ComPtr<IHTMLElement> body;
    if (const auto html = Document().template try_query<IHTMLDocument2>())
      html->get_body(body.put());
    return body;
  }

  test_double_test::ScopedDoubleRegistration registration{TAVRIN_DOUBLE_DLL};
  LONG locksBefore = 0;
  ParentWindow parent;
  Testable<View> view;
};
