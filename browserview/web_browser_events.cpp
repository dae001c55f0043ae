#include "browserview/web_browser_events.h"

#include <exdisp.h>
#include <exdispid.h>

#include <string_view>

#include "framework/unique_any.h"

namespace tavrin {
namespace {

constexpr size_t kMaxArguments = 7;

// The arguments of one event, converted by its signature: one letter per parameter, in order.
// By value: l long, b BOOL, s string, d IDispatch*. By reference into the caller's arguments:
// L long*, B VARIANT_BOOL*, D IDispatch**, v VARIANT*.
class EventArguments {
 public:
  // first: the index in rgvarg of the signature's first parameter (arguments come last first).
  HRESULT Convert(const DISPPARAMS& params, UINT first, std::string_view signature,
                  UINT* argError) noexcept {
    for (size_t i = 0; i < signature.size(); ++i) {
      const UINT position = first - static_cast<UINT>(i);
      VARIANT& arg = params.rgvarg[position];
      if (!ConvertOne(arg, signature[i], i)) {
        if (argError) *argError = position;
        return DISP_E_TYPEMISMATCH;
      }
    }
    return S_OK;
  }

  long Long(size_t i) const noexcept { return m_values[i].get().lVal; }
  BOOL Bool(size_t i) const noexcept { return m_values[i].get().boolVal != VARIANT_FALSE; }
  std::wstring Text(size_t i) const {
    const BSTR text = m_values[i].get().bstrVal;
    return std::wstring(text, SysStringLen(text));
  }
  // VariantInit leaves the pointer of an accepted VT_EMPTY or VT_NULL argument unset.
  IDispatch* Dispatch(size_t i) const noexcept {
    const VARIANT& value = m_values[i].get();
    return V_VT(&value) == VT_DISPATCH ? V_DISPATCH(&value) : nullptr;
  }
  VARIANT* Variant(size_t i) const noexcept { return static_cast<VARIANT*>(m_refs[i]); }
  long* LongRef(size_t i) const noexcept { return static_cast<long*>(m_refs[i]); }
  VARIANT_BOOL* BoolRef(size_t i) const noexcept { return static_cast<VARIANT_BOOL*>(m_refs[i]); }
  IDispatch** DispatchRef(size_t i) const noexcept { return static_cast<IDispatch**>(m_refs[i]); }

 private:
  bool ConvertOne(VARIANT& arg, char kind, size_t i) noexcept {
    switch (kind) {
      case 'l':
        return Coerce(arg, VT_I4, i);
      case 'b':
        return Coerce(arg, VT_BOOL, i);
      case 's':
        return Coerce(arg, VT_BSTR, i);
      case 'd':
        // A missing frame or document is passed on as null.
        return V_VT(&arg) == VT_EMPTY || V_VT(&arg) == VT_NULL || Coerce(arg, VT_DISPATCH, i);
      case 'v':
        m_refs[i] = V_VT(&arg) == (VT_BYREF | VT_VARIANT) ? V_VARIANTREF(&arg) : &arg;
        return m_refs[i] != nullptr;
      case 'L':
        return Reference(arg, VT_I4, i);
      case 'B':
        return Reference(arg, VT_BOOL, i);
      case 'D':
        return Reference(arg, VT_DISPATCH, i);
      default:
        return false;
    }
  }

  bool Coerce(VARIANT& arg, VARTYPE type, size_t i) noexcept {
    return SUCCEEDED(VariantChangeType(m_values[i].put(), &arg, 0, type));
  }

  // Only the exact type can be written through.
  bool Reference(const VARIANT& arg, VARTYPE type, size_t i) noexcept {
    if (V_VT(&arg) != (VT_BYREF | type) || !V_BYREF(&arg)) return false;
    m_refs[i] = V_BYREF(&arg);
    return true;
  }

  UniqueVariant m_values[kMaxArguments];
  void* m_refs[kMaxArguments] = {};
};

class CIgnoredEvents final : public CWebBrowserEventHandler {};

using EventCall = void (*)(CWebBrowserEventHandler& handler, const EventArguments& a);

struct EventBinding {
  DISPID id;
  std::string_view signature;
  EventCall call;
};

using H = CWebBrowserEventHandler;
using A = EventArguments;

constexpr EventBinding kEvents[] = {
    {DISPID_STATUSTEXTCHANGE, "s", [](H& h, const A& a) { h.StatusTextChange(a.Text(0)); }},
    {DISPID_PROGRESSCHANGE, "ll", [](H& h, const A& a) { h.ProgressChange(a.Long(0), a.Long(1)); }},
    {DISPID_COMMANDSTATECHANGE, "lb",
     [](H& h, const A& a) { h.CommandStateChange(a.Long(0), a.Bool(1)); }},
    {DISPID_DOWNLOADBEGIN, "", [](H& h, const A&) { h.DownloadBegin(); }},
    {DISPID_DOWNLOADCOMPLETE, "", [](H& h, const A&) { h.DownloadComplete(); }},
    {DISPID_TITLECHANGE, "s", [](H& h, const A& a) { h.TitleChange(a.Text(0)); }},
    {DISPID_PROPERTYCHANGE, "s", [](H& h, const A& a) { h.PropertyChange(a.Text(0)); }},
    {DISPID_BEFORENAVIGATE2, "dvvvvvB",
     [](H& h, const A& a) {
       h.BeforeNavigate2(a.Dispatch(0), a.Variant(1), a.Variant(2), a.Variant(3), a.Variant(4),
                         a.Variant(5), a.BoolRef(6));
     }},
    {DISPID_NEWWINDOW2, "DB",
     [](H& h, const A& a) { h.NewWindow2(a.DispatchRef(0), a.BoolRef(1)); }},
    {DISPID_NAVIGATECOMPLETE2, "dv",
     [](H& h, const A& a) { h.NavigateComplete2(a.Dispatch(0), a.Variant(1)); }},
    {DISPID_DOCUMENTCOMPLETE, "dv",
     [](H& h, const A& a) { h.DocumentComplete(a.Dispatch(0), a.Variant(1)); }},
    {DISPID_ONQUIT, "", [](H& h, const A&) { h.OnQuit(); }},
    {DISPID_ONVISIBLE, "b", [](H& h, const A& a) { h.OnVisible(a.Bool(0)); }},
    {DISPID_ONTOOLBAR, "b", [](H& h, const A& a) { h.OnToolBar(a.Bool(0)); }},
    {DISPID_ONMENUBAR, "b", [](H& h, const A& a) { h.OnMenuBar(a.Bool(0)); }},
    {DISPID_ONSTATUSBAR, "b", [](H& h, const A& a) { h.OnStatusBar(a.Bool(0)); }},
    {DISPID_ONFULLSCREEN, "b", [](H& h, const A& a) { h.OnFullScreen(a.Bool(0)); }},
    {DISPID_ONTHEATERMODE, "b", [](H& h, const A& a) { h.OnTheaterMode(a.Bool(0)); }},
    {DISPID_WINDOWSETRESIZABLE, "b", [](H& h, const A& a) { h.WindowSetResizable(a.Bool(0)); }},
    {DISPID_WINDOWSETLEFT, "l", [](H& h, const A& a) { h.WindowSetLeft(a.Long(0)); }},
    {DISPID_WINDOWSETTOP, "l", [](H& h, const A& a) { h.WindowSetTop(a.Long(0)); }},
    {DISPID_WINDOWSETWIDTH, "l", [](H& h, const A& a) { h.WindowSetWidth(a.Long(0)); }},
    {DISPID_WINDOWSETHEIGHT, "l", [](H& h, const A& a) { h.WindowSetHeight(a.Long(0)); }},
    {DISPID_WINDOWCLOSING, "bB",
     [](H& h, const A& a) { h.WindowClosing(a.Bool(0), a.BoolRef(1)); }},
    {DISPID_CLIENTTOHOSTWINDOW, "LL",
     [](H& h, const A& a) { h.ClientToHostWindow(a.LongRef(0), a.LongRef(1)); }},
    {DISPID_SETSECURELOCKICON, "l", [](H& h, const A& a) { h.SetSecureLockIcon(a.Long(0)); }},
    {DISPID_FILEDOWNLOAD, "B", [](H& h, const A& a) { h.FileDownload(a.BoolRef(0)); }},
    {DISPID_NAVIGATEERROR, "dvvvB",
     [](H& h, const A& a) {
       h.NavigateError(a.Dispatch(0), a.Variant(1), a.Variant(2), a.Variant(3), a.BoolRef(4));
     }},
    {DISPID_PRINTTEMPLATEINSTANTIATION, "d",
     [](H& h, const A& a) { h.PrintTemplateInstantiation(a.Dispatch(0)); }},
    {DISPID_PRINTTEMPLATETEARDOWN, "d",
     [](H& h, const A& a) { h.PrintTemplateTeardown(a.Dispatch(0)); }},
    {DISPID_UPDATEPAGESTATUS, "dvv",
     [](H& h, const A& a) { h.UpdatePageStatus(a.Dispatch(0), a.Variant(1), a.Variant(2)); }},
    {DISPID_PRIVACYIMPACTEDSTATECHANGE, "b",
     [](H& h, const A& a) { h.PrivacyImpactedStateChange(a.Bool(0)); }},
};

}  // namespace

HRESULT InvokeWebBrowserEvent(CWebBrowserEventHandler& handler, DISPID id, const DISPPARAMS* params,
                              UINT* argError) noexcept {
  const EventBinding* binding = nullptr;
  for (const EventBinding& candidate : kEvents) {
    if (candidate.id == id) binding = &candidate;
  }
  if (!binding) return DISP_E_MEMBERNOTFOUND;

  static const DISPPARAMS kNoArguments{};
  const DISPPARAMS& args = params ? *params : kNoArguments;
  const UINT expected = static_cast<UINT>(binding->signature.size());
  // Later browsers fire FileDownload with the document flag before Cancel; Cancel is the last.
  const bool cancelLast = id == DISPID_FILEDOWNLOAD && args.cArgs > expected;
  if (args.cArgs != expected && !cancelLast) return DISP_E_BADPARAMCOUNT;
  if (expected > 0 && !args.rgvarg) return E_INVALIDARG;

  try {
    EventArguments converted;
    RETURN_IF_FAILED(converted.Convert(args, expected - 1, binding->signature, argError));
    binding->call(handler, converted);
    return S_OK;
  }
  CATCH_RETURN();
}

std::span<const InterfaceEntry> CWebBrowserEvents2::Interfaces() noexcept {
  using T = CWebBrowserEvents2;
  // A connection point asks for its outgoing interface; the answer is the dispatch interface.
  static const InterfaceEntry table[] = {
      InterfaceOf<T, IDispatch>(),
      {&DIID_DWebBrowserEvents2,
       [](void* object) -> IUnknown* { return static_cast<IDispatch*>(static_cast<T*>(object)); }},
  };
  return table;
}

BOOL CWebBrowserEvents2::SetHandler(CWebBrowserEventHandler* handler) noexcept {
  m_pHandler = handler;
  return TRUE;
}

// Sources invoke events by their fixed ids.
STDMETHODIMP CWebBrowserEvents2::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP CWebBrowserEvents2::Invoke(DISPID id, REFIID riid, LCID, WORD, DISPPARAMS* params,
                                        VARIANT*, EXCEPINFO*, UINT* argError) noexcept {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  // Without a handler an event is still checked, then goes nowhere.
  static CIgnoredEvents ignored;
  return InvokeWebBrowserEvent(m_pHandler ? *m_pHandler : ignored, id, params, argError);
}

HRESULT CWebBrowserEventConnection::Connect(const ComPtr<IUnknown>& browser,
                                            CWebBrowserEventHandler* handler) noexcept {
  Disconnect();
  const auto container = browser.try_query<IConnectionPointContainer>();
  if (!container) return E_NOINTERFACE;
  m_pSink = MakeComObject<CWebBrowserEvents2>();
  if (!m_pSink) return E_OUTOFMEMORY;
  m_pSink->SetHandler(handler);
  HRESULT hr = container->FindConnectionPoint(DIID_DWebBrowserEvents2, m_pPoint.put());
  if (SUCCEEDED(hr)) hr = m_pPoint->Advise(static_cast<IDispatch*>(m_pSink.get()), &m_dwCookie);
  if (FAILED(hr)) Disconnect();
  return hr;
}

void CWebBrowserEventConnection::SetHandler(CWebBrowserEventHandler* handler) noexcept {
  if (m_pSink) m_pSink->SetHandler(handler);
}

void CWebBrowserEventConnection::Disconnect() noexcept {
  if (m_pPoint && m_dwCookie) m_pPoint->Unadvise(m_dwCookie);
  m_dwCookie = 0;
  m_pPoint.reset();
  SetHandler(nullptr);
  m_pSink.reset();
}

}  // namespace tavrin
