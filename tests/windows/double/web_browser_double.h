#pragma once
// A stand-in for the WebBrowser control in the Windows tests: IWebBrowser2 with the
// DWebBrowserEvents2 connection point, firing a navigation's events in a browser's order from the
// message loop, and an OLE control whose window paints the link texts of its document.

#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/window.h"
#include "mshtml_connection_point.h"
#include "web_browser_double_control.h"
#include "web_browser_not_implemented.h"

#include <mshtml.h>
#include <ocidl.h>
#include <oleidl.h>

#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tavrin::test_double {

// The document and address a browser object reports; IDispatch answers no names.
class CBrowserBase : public NotImplWebBrowser2 {
 public:
  // The document it showed before is torn down.
  void Show(ComPtr<IHTMLDocument2> document, std::wstring url) noexcept;

  STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept override;
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) noexcept override;

  STDMETHODIMP get_Document(IDispatch** document) noexcept override;
  STDMETHODIMP get_LocationURL(BSTR* url) noexcept override;

 protected:
  ComPtr<IHTMLDocument2> m_pDocument;
  std::wstring m_strUrl;
};

// The browser object of one frame: the pDisp of that frame's events.
class CFrameBrowser : public CBrowserBase, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept;
};

// Navigate fires BeforeNavigate2 at once, and a cancel ends the navigation there. The rest comes
// from the message loop, one event per message: the top document's NavigateComplete2, each
// frame's BeforeNavigate2 and NavigateComplete2 depth-first (siblings in document order, or the
// reverse when the test asks), then DocumentComplete innermost first
// and the top document's last. Busy and ReadyState tell a load until that last event. Where the
// documents come from: web_browser_double_pages.h. A javascript: address runs in the page and
// loads nothing. Every navigation, a frame's included, brings new document objects; the ones
// they replace are torn down. A held frame completes late: the other frames go on, the frames
// around it wait.
class CWebBrowserDouble : public CBrowserBase,
                          public IWebBrowserDoubleControl,
                          public IConnectionPointContainer,
                          public IOleObject,
                          public IOleInPlaceObject,
                          public IOleInPlaceActiveObject,
                          public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept;

  CWebBrowserDouble();
  ~CWebBrowserDouble() override;

  // IWebBrowser2
  STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                        VARIANT* headers) noexcept override;
  STDMETHODIMP Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrameName, VARIANT* postData,
                         VARIANT* headers) noexcept override;
  STDMETHODIMP Refresh() noexcept override;
  STDMETHODIMP Stop() noexcept override;
  STDMETHODIMP Quit() noexcept override;
  STDMETHODIMP get_Application(IDispatch** application) noexcept override;
  STDMETHODIMP get_Busy(VARIANT_BOOL* busy) noexcept override;
  STDMETHODIMP get_ReadyState(READYSTATE* state) noexcept override;
  STDMETHODIMP get_Visible(VARIANT_BOOL* visible) noexcept override;
  STDMETHODIMP put_Visible(VARIANT_BOOL visible) noexcept override;
  STDMETHODIMP get_StatusText(BSTR* text) noexcept override;
  STDMETHODIMP put_StatusText(BSTR text) noexcept override;

  // IWebBrowserDoubleControl
  STDMETHODIMP HoldLoads(BOOL hold) noexcept override;
  STDMETHODIMP HoldFrame(UINT index, BOOL hold) noexcept override;
  STDMETHODIMP LoadFramesLastFirst(BOOL reverse) noexcept override;
  STDMETHODIMP NavigateFrame(UINT index) noexcept override;
  STDMETHODIMP FireStatusTextChange(BSTR text) noexcept override;
  STDMETHODIMP GetNavigation(UINT index, BSTR* url, BOOL* cancelled) noexcept override;
  STDMETHODIMP GetSinkCount(UINT* count) noexcept override;

  // IConnectionPointContainer: DWebBrowserEvents2 only.
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) noexcept override {
    return Refuse(points, E_NOTIMPL);
  }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) noexcept override;

  // IOleObject
  STDMETHODIMP SetClientSite(IOleClientSite* site) noexcept override;
  STDMETHODIMP GetClientSite(IOleClientSite** site) noexcept override;
  STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) noexcept override { return S_OK; }
  STDMETHODIMP Close(DWORD saveOption) noexcept override;
  STDMETHODIMP SetMoniker(DWORD, IMoniker*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) noexcept override {
    return Refuse(moniker, E_NOTIMPL);
  }
  STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetClipboardData(DWORD, IDataObject** data) noexcept override {
    return Refuse(data, E_NOTIMPL);
  }
  STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                      LPCRECT rect) noexcept override;
  STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) noexcept override {
    return Refuse(verbs, OLE_S_USEREG);
  }
  STDMETHODIMP Update() noexcept override { return S_OK; }
  STDMETHODIMP IsUpToDate() noexcept override { return S_OK; }
  STDMETHODIMP GetUserClassID(CLSID* clsid) noexcept override;
  STDMETHODIMP GetUserType(DWORD, LPOLESTR* type) noexcept override {
    return Refuse(type, OLE_S_USEREG);
  }
  STDMETHODIMP SetExtent(DWORD, SIZEL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP GetExtent(DWORD, SIZEL*) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP Advise(IAdviseSink*, DWORD* connection) noexcept override {
    return Refuse(connection, E_NOTIMPL);
  }
  STDMETHODIMP Unadvise(DWORD) noexcept override { return E_NOTIMPL; }
  STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) noexcept override {
    return Refuse(advise, E_NOTIMPL);
  }
  STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) noexcept override;
  STDMETHODIMP SetColorScheme(LOGPALETTE*) noexcept override { return E_NOTIMPL; }

  // IOleWindow, for both in-place interfaces: the control's window while in-place active.
  STDMETHODIMP GetWindow(HWND* window) noexcept override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) noexcept override { return E_NOTIMPL; }

  // IOleInPlaceObject
  STDMETHODIMP InPlaceDeactivate() noexcept override;
  STDMETHODIMP UIDeactivate() noexcept override { return S_OK; }
  STDMETHODIMP SetObjectRects(LPCRECT position, LPCRECT clip) noexcept override;
  STDMETHODIMP ReactivateAndUndo() noexcept override { return E_NOTIMPL; }

  // IOleInPlaceActiveObject: the control has no accelerators of its own.
  STDMETHODIMP TranslateAccelerator(LPMSG) noexcept override { return S_FALSE; }
  STDMETHODIMP OnFrameWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP OnDocWindowActivate(BOOL) noexcept override { return S_OK; }
  STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) noexcept override { return S_OK; }
  STDMETHODIMP EnableModeless(BOOL) noexcept override { return S_OK; }

 private:
  class CDoubleWindow;

  // An unsupported call: its out-parameter cleared, and the given answer.
  template <class T>
  static HRESULT Refuse(T* out, HRESULT result) noexcept {
    if (out) *out = T{};
    return result;
  }

  // One document of the page being loaded, the top one first, then its frames depth-first.
  struct Frame {
    std::wstring url;
    ComPtr<IHTMLDocument2> document;
    // Null for the top document, whose browser is this object.
    ComPtr<ComObject<CFrameBrowser>> browser;
    size_t parent = 0;
    bool cancelled = false;
  };
  enum class StepKind { BeforeNavigate, NavigateComplete, DocumentComplete };
  struct Navigation {
    std::wstring url;
    bool cancelled = false;
  };
  struct Step {
    StepKind kind;
    size_t frame;
  };

  IUnknown* Identity() noexcept { return static_cast<IWebBrowser2*>(this); }
  IDispatch* FrameDispatch(const Frame& frame) noexcept;
  bool IsCancelled(size_t frame) const noexcept;
  static std::vector<Frame> LoadFrames(const std::wstring& url);
  // Appends the frames inside frames[parent] and theirs, depth-first, each after its parent: the
  // order in which a browser starts them.
  static void AddFrames(std::vector<Frame>& frames, size_t parent);
  // The frame and the frames inside it get new documents; their browsers stay.
  void RenewFrames(size_t frame);
  // The direct frames of a frame in the order they load.
  std::vector<size_t> FramesOf(size_t frame) const;
  bool IsInside(size_t frame, size_t ancestor) const noexcept;
  // A frame's load after its BeforeNavigate2: its NavigateComplete2, its frames' loads, and its
  // DocumentComplete after theirs.
  std::deque<Step> LoadSteps(size_t frame) const;
  void ScheduleLoad();
  // The first step that may run: a completion waits while its frame is held or a frame inside
  // it has not completed. Empty when none may.
  std::optional<size_t> RunnableStep() const noexcept;
  void ShowTop(const Frame& top) noexcept;
  HRESULT PostStep() noexcept;
  // Runs the next step of the navigation; from the message window.
  void OnStep();
  void Paint(HWND window) noexcept;

  // The event's arguments as the browser passes them: last first.
  void Fire(DISPID id, std::span<VARIANT> arguments) noexcept;
  // True when a sink cancelled the navigation.
  bool FireBeforeNavigate2(IDispatch* browser, const std::wstring& url) noexcept;
  void FireCompletion(DISPID id, IDispatch* browser, const std::wstring& url) noexcept;

  std::unique_ptr<CConnectionPoint> m_pEventPoint;
  std::vector<Frame> m_arrFrames;
  std::deque<Step> m_arrSteps;
  // Tells a navigation from the one that replaced it while its handlers ran.
  unsigned m_nLoad = 0;
  bool m_bStepPosted = false;
  // Frames whose completion waits, by index; 0 the top document.
  std::set<size_t> m_setHeldFrames;
  bool m_bLastFrameFirst = false;
  std::vector<Navigation> m_arrNavigations;
  VARIANT_BOOL m_bBusy = VARIANT_FALSE;
  READYSTATE m_readyState = READYSTATE_COMPLETE;
  VARIANT_BOOL m_bVisible = VARIANT_TRUE;
  std::wstring m_strStatusText;

  ComPtr<IOleClientSite> m_pClientSite;
  ComPtr<IOleInPlaceSite> m_pInPlaceSite;
  // Receives the posted steps; created with the first navigation.
  std::unique_ptr<CDoubleWindow> m_pMessageWindow;
  // The in-place window.
  std::unique_ptr<CDoubleWindow> m_pViewWindow;
};

// What the DLL's LiveWebBrowserDoubles export answers (web_browser_double_control.h).
HRESULT CopyLiveDoubles(IWebBrowser2** browsers, UINT capacity, UINT* count) noexcept;

}  // namespace tavrin::test_double
