#include "settingstool/browser_closer.h"

#include "framework/com_ptr.h"
#include "framework/unique_any.h"
#include "settingstool/bounded_calls.h"

#include <exdisp.h>
#include <mshtml.h>
#include <shldisp.h>

#include <vector>

namespace tavrin {
namespace {

// In-process server, in-process handler or local server: the browsers run in their own processes.
constexpr DWORD kAnyServer = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
constexpr DWORD kBarSettleMs = 2000;

// The browser of the collection's item at index when it shows an HTML page; empty otherwise.
ComPtr<IWebBrowser2> HtmlBrowserAt(IShellWindows* windows, long index) noexcept {
  VARIANT position;
  VariantInit(&position);
  position.vt = VT_I4;
  position.lVal = index;
  ComPtr<IDispatch> item;
  if (FAILED(windows->Item(position, item.put())) || !item) return {};
  // Any failure of the two queries skips the window, as E_NOINTERFACE does: not a browser, or a
  // folder window that shows no HTML document.
  const auto browser = item.try_query<IWebBrowser2>();
  if (!browser) return {};
  ComPtr<IDispatch> document;
  if (FAILED(browser->get_Document(document.put())) || !document) return {};
  if (!document.try_query<IHTMLDocument2>()) return {};
  return browser;
}

}  // namespace

bool CBrowserCloser::CloseBrowsers() noexcept {
  const CBoundedCalls bounded(m_callTimeoutMs);
  ComPtr<IShellWindows> windows;
  {
    ComPtr<IUnknown> unknown;
    if (FAILED(
            CoCreateInstance(CLSID_ShellWindows, nullptr, kAnyServer, IID_PPV_ARGS(unknown.put()))))
      return false;
    if (FAILED(OleRun(unknown.get()))) return false;
    windows = unknown.try_query<IShellWindows>();
  }
  long count = 0;
  if (!windows || FAILED(windows->get_Count(&count))) return false;

  std::vector<ComPtr<IWebBrowser2>> closing;
  for (long i = 0; i < count; ++i) {
    const auto browser = HtmlBrowserAt(windows.get(), i);
    if (!browser) continue;
    // Gone from the screen at once; one that does not answer is not waited for a second time.
    if (NotAnswered(browser->put_Visible(VARIANT_FALSE)) || NotAnswered(browser->Stop())) continue;
    try {
      closing.push_back(browser);
    } catch (...) {
      // Out of memory: this one is told to quit now rather than not at all.
      browser->Quit();
    }
  }
  for (const auto& browser : closing) browser->Quit();
  return true;
}

bool HideBandInNewBrowser(const std::wstring& bandClsid, DWORD callTimeoutMs) noexcept {
  const CBoundedCalls bounded(callTimeoutMs);
  CLSID browserClass{};
  if (FAILED(CLSIDFromProgID(L"InternetExplorer.Application", &browserClass))) return false;
  ComPtr<IWebBrowserApp> application;
  if (FAILED(CoCreateInstance(browserClass, nullptr, kAnyServer, IID_PPV_ARGS(application.put()))))
    return false;
  if (const auto browser = application.try_query<IWebBrowser2>()) {
    const UniqueBstr clsid(SysAllocString(bandClsid.c_str()));
    VARIANT bar;
    VARIANT show;
    VARIANT size;
    VariantInit(&bar);
    VariantInit(&show);
    VariantInit(&size);
    bar.vt = VT_BSTR;
    bar.bstrVal = clsid.get();
    show.vt = VT_BOOL;
    show.boolVal = VARIANT_FALSE;
    size.vt = VT_INT;
    size.intVal = 1;
    // Without the string there is nothing to hide; the browser is still told to quit.
    if (clsid) {
      browser->ShowBrowserBar(&bar, &show, &size);
      // The browser keeps the bar's state when it quits; give it time to take the change in.
      Sleep(kBarSettleMs);
    }
  }
  application->Quit();
  return true;
}

}  // namespace tavrin
