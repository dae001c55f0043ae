#pragma once
// What a test in another module (the program that plays the browser around an unmodified DLL)
// asks of the WebBrowser doubles inside webbrowser-double.dll: a COM interface that every double
// answers, and the DLL's export that finds the doubles alive.

#include <exdisp.h>
#include <objbase.h>

MIDL_INTERFACE("2a118576-5109-4ad7-9def-8ca3a087cdaf")
IWebBrowserDoubleControl : public IUnknown {
  // TRUE: every load from now on stops before its top document completes (Busy stays TRUE) until
  // the test lets it go with FALSE.
  virtual HRESULT STDMETHODCALLTYPE HoldLoads(BOOL hold) = 0;
  // The same for the frame at index (as NavigateFrame counts, 0 the top document): from now on
  // its completion waits, and the completions of the frames around it with it, until the test
  // lets it go; the other frames load meanwhile.
  virtual HRESULT STDMETHODCALLTYPE HoldFrame(UINT index, BOOL hold) = 0;
  // TRUE: the frames of each later load start and complete last sibling first, as when the
  // network answers them in that order; a frame still comes after the document that holds it.
  virtual HRESULT STDMETHODCALLTYPE LoadFramesLastFirst(BOOL reverse) = 0;
  // Navigates the frame at index (1 the first frame, depth-first in document order) to the
  // address it shows, from BeforeNavigate2 to DocumentComplete of that frame's browser, with new
  // documents for it and the frames inside it; during a held load it comes before the top
  // document's completion. E_INVALIDARG without that frame.
  virtual HRESULT STDMETHODCALLTYPE NavigateFrame(UINT index) = 0;
  // Fires StatusTextChange as a browser does when the mouse rests on a link.
  virtual HRESULT STDMETHODCALLTYPE FireStatusTextChange(BSTR text) = 0;
  // The navigations asked with Navigate or Navigate2, in order, and whether BeforeNavigate2
  // cancelled each; S_FALSE past the last one.
  virtual HRESULT STDMETHODCALLTYPE GetNavigation(UINT index, BSTR * url, BOOL * cancelled) = 0;
  // How many sinks are advised to DWebBrowserEvents2 now.
  virtual HRESULT STDMETHODCALLTYPE GetSinkCount(UINT * count) = 0;
};

#ifdef __CRT_UUID_DECL
__CRT_UUID_DECL(IWebBrowserDoubleControl, 0x2a118576, 0x5109, 0x4ad7, 0x9d, 0xef, 0x8c, 0xa3, 0xa0,
                0x87, 0xcd, 0xaf)
#endif

// Exported by webbrowser-double.dll: the doubles alive, in the order of their creation, each with
// a reference for the caller; *count is how many are alive, even when capacity is smaller.
using LiveWebBrowserDoublesFunction = HRESULT(STDAPICALLTYPE*)(IWebBrowser2** browsers,
                                                               UINT capacity, UINT* count);
inline constexpr char kLiveWebBrowserDoublesExport[] = "LiveWebBrowserDoubles";
