#pragma once
// Stand-ins for the browser and document objects that Wine's control never provides. Each lives
// on the test's stack and counts its references, so a test can see that all came back.

#include "browserview/web_browser_container.h"
#include "framework/com_ptr.h"
#include "framework/hresult.h"
#include "framework/unique_any.h"
#include "not_implemented.h"
#include "../not_implemented_dispatch.h"

#include <mshtml.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace stand_in {

template <class Base, class Interface>
class Counted : public NotImplDispatch<Base> {
 public:
  ULONG refs = 0;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
                   IsEqualIID(riid, __uuidof(Interface))
               ? static_cast<Base*>(this)
               : Find(riid);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

 protected:
  // Interfaces beyond the stand-in's own.
  virtual void* Find(REFIID) { return nullptr; }
};

template <class T, class I>
HRESULT HandOut(T* object, I** out) {
  *out = object;
  if (object) object->AddRef();
  return S_OK;
}

class Element final : public Counted<NotImplHtmlElement, IHTMLElement> {
 public:
  std::wstring tagName = L"A";
  std::wstring innerHTML;

  STDMETHODIMP get_tagName(BSTR* p) override {
    *p = SysAllocString(tagName.c_str());
    return S_OK;
  }
  STDMETHODIMP put_innerHTML(BSTR v) override {
    innerHTML.assign(v ? v : L"", SysStringLen(v));
    return S_OK;
  }
};

class EventObject final : public Counted<NotImplHtmlEventObj, IHTMLEventObj> {
 public:
  Element source;
  VARTYPE returnType = VT_EMPTY;
  LONG returnValue = -1;

  STDMETHODIMP get_srcElement(IHTMLElement** p) override { return HandOut(&source, p); }
  STDMETHODIMP put_returnValue(VARIANT v) override {
    returnType = V_VT(&v);
    returnValue = V_VT(&v) == VT_I2 ? V_I2(&v) : -1;
    return S_OK;
  }
};

class Window final : public Counted<NotImplHtmlWindow2, IHTMLWindow2> {
 public:
  EventObject event;

  STDMETHODIMP get_event(IHTMLEventObj** p) override { return HandOut(&event, p); }
};

class ConnectionPoint final : public IConnectionPoint {
 public:
  ULONG refs = 0;
  tavrin::ComPtr<IUnknown> sink;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
      return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Advise(IUnknown* unknown, DWORD* cookie) override {
    sink = unknown;
    *cookie = 7;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    if (cookie != 7 || !sink) return CONNECT_E_NOCONNECTION;
    sink.reset();
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }
};

class Document final : public Counted<NotImplHtmlDocument2, IHTMLDocument2>,
                       public ICustomDoc,
                       public IConnectionPointContainer {
 public:
  Element body;
  Window window;
  ConnectionPoint documentEvents;
  tavrin::ComPtr<IDocHostUIHandler> uiHandler;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return Counted<NotImplHtmlDocument2, IHTMLDocument2>::QueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

  STDMETHODIMP get_body(IHTMLElement** p) override { return HandOut(&body, p); }
  STDMETHODIMP get_parentWindow(IHTMLWindow2** p) override { return HandOut(&window, p); }
  STDMETHODIMP SetUIHandler(IDocHostUIHandler* handler) override {
    uiHandler = handler;
    return S_OK;
  }
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    *point = nullptr;
    if (!IsEqualIID(riid, __uuidof(HTMLDocumentEvents))) return CONNECT_E_NOCONNECTION;
    return HandOut(&documentEvents, point);
  }

 protected:
  void* Find(REFIID riid) override {
    if (IsEqualIID(riid, __uuidof(ICustomDoc))) return static_cast<ICustomDoc*>(this);
    if (IsEqualIID(riid, IID_IConnectionPointContainer))
      return static_cast<IConnectionPointContainer*>(this);
    return nullptr;
  }
};

class Browser final : public Counted<NotImplWebBrowser2, IWebBrowser2> {
 public:
  IDispatch* document = nullptr;
  VARIANT_BOOL busy = VARIANT_FALSE;
  READYSTATE readyState = READYSTATE_COMPLETE;
  std::wstring navigated;

  STDMETHODIMP get_Document(IDispatch** p) override {
    HandOut(document, p);
    return document ? S_OK : S_FALSE;
  }
  STDMETHODIMP get_Busy(VARIANT_BOOL* p) override {
    *p = busy;
    return S_OK;
  }
  STDMETHODIMP get_ReadyState(READYSTATE* p) override {
    *p = readyState;
    return S_OK;
  }
  STDMETHODIMP Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
    navigated.assign(url, SysStringLen(url));
    return S_OK;
  }
};

}  // namespace stand_in

// A container (or subclass) under test, with the seam and the protected event open to the test.
template <class Base>
class Testable final : public Base {
 public:
  using Base::NavigateComplete2;
  using Base::ReplaceBrowser;
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

 private:
  tavrin::UniqueBstr m_text;
};
