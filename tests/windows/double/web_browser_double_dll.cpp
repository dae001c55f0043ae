// Entry points of webbrowser-double.dll, which the tests register under CLSID_WebBrowser so that
// unmodified code creating the WebBrowser control gets the double.

#include "framework/class_factory.h"
#include "mshtml_double.h"
#include "web_browser_double.h"

#include <type_traits>

using namespace tavrin;

namespace {

ClassFactory g_browserFactory{&CreateComObject<test_double::CWebBrowserDouble>};
const ClassEntry g_classes[] = {{&CLSID_WebBrowser, &g_browserFactory}};

}  // namespace

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  return GetClassObject(g_classes, rclsid, riid, ppv);
}
STDAPI LiveWebBrowserDoubles(IWebBrowser2** browsers, UINT capacity, UINT* count) {
  return test_double::CopyLiveDoubles(browsers, capacity, count);
}
static_assert(std::is_same_v<decltype(&LiveWebBrowserDoubles), LiveWebBrowserDoublesFunction>);

// The documents are objects of this module too, though they do not count in its lock.
STDAPI DllCanUnloadNow() {
  return test_double::LiveObjectCount() == 0 ? CanUnloadNow() : S_FALSE;
}
