#pragma once
// Browser events as virtual calls: a handler with one empty method per DWebBrowserEvents2 event,
// and the automation sink that a browser's connection point invokes.

#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/dispatch.h"

#include <oaidl.h>
#include <ocidl.h>

#include <string>

namespace tavrin {

// Strings arrive as UTF-16, unchanged; out-parameters point into the caller's arguments, so a
// write reaches the browser.
class CWebBrowserEventHandler {
 public:
  virtual void StatusTextChange(const std::wstring& /*text*/) {}
  virtual void ProgressChange(long /*progress*/, long /*progressMax*/) {}
  virtual void CommandStateChange(long /*command*/, BOOL /*enable*/) {}
  virtual void DownloadBegin() {}
  virtual void DownloadComplete() {}
  virtual void TitleChange(const std::wstring& /*text*/) {}
  virtual void PropertyChange(const std::wstring& /*property*/) {}
  virtual void BeforeNavigate2(IDispatch* /*pDisp*/, VARIANT* /*url*/, VARIANT* /*flags*/,
                               VARIANT* /*targetFrameName*/, VARIANT* /*postData*/,
                               VARIANT* /*headers*/, VARIANT_BOOL* /*cancel*/) {}
  virtual void NewWindow2(IDispatch** /*ppDisp*/, VARIANT_BOOL* /*cancel*/) {}
  virtual void NavigateComplete2(IDispatch* /*pDisp*/, VARIANT* /*url*/) {}
  virtual void DocumentComplete(IDispatch* /*pDisp*/, VARIANT* /*url*/) {}
  virtual void OnQuit() {}
  virtual void OnVisible(BOOL /*visible*/) {}
  virtual void OnToolBar(BOOL /*toolBar*/) {}
  virtual void OnMenuBar(BOOL /*menuBar*/) {}
  virtual void OnStatusBar(BOOL /*statusBar*/) {}
  virtual void OnFullScreen(BOOL /*fullScreen*/) {}
  virtual void OnTheaterMode(BOOL /*theaterMode*/) {}
  virtual void WindowSetResizable(BOOL /*resizable*/) {}
  virtual void WindowSetLeft(long /*left*/) {}
  virtual void WindowSetTop(long /*top*/) {}
  virtual void WindowSetWidth(long /*width*/) {}
  virtual void WindowSetHeight(long /*height*/) {}
  virtual void WindowClosing(BOOL /*isChildWindow*/, VARIANT_BOOL* /*cancel*/) {}
  virtual void ClientToHostWindow(long* /*cx*/, long* /*cy*/) {}
  virtual void SetSecureLockIcon(long /*secureLockIcon*/) {}
  virtual void FileDownload(VARIANT_BOOL* /*cancel*/) {}
  virtual void NavigateError(IDispatch* /*pDisp*/, VARIANT* /*url*/, VARIANT* /*frame*/,
                             VARIANT* /*statusCode*/, VARIANT_BOOL* /*cancel*/) {}
  virtual void PrintTemplateInstantiation(IDispatch* /*pDisp*/) {}
  virtual void PrintTemplateTeardown(IDispatch* /*pDisp*/) {}
  virtual void UpdatePageStatus(IDispatch* /*pDisp*/, VARIANT* /*nPage*/, VARIANT* /*fDone*/) {}
  virtual void PrivacyImpactedStateChange(BOOL /*impacted*/) {}

 protected:
  // Never owned through this interface.
  ~CWebBrowserEventHandler() = default;
};

// Converts the arguments of DWebBrowserEvents2 event `id` and calls the handler's method. Unknown
// ids give DISP_E_MEMBERNOTFOUND, a wrong argument count DISP_E_BADPARAMCOUNT, an argument of the
// wrong kind DISP_E_TYPEMISMATCH (with its position in *argError); the handler is then not called.
HRESULT InvokeWebBrowserEvent(CWebBrowserEventHandler& handler, DISPID id, const DISPPARAMS* params,
                              UINT* argError) noexcept;

// The sink for a browser's DWebBrowserEvents2 connection point: it calls its one handler. Created
// as ComObject; the owner advises it, keeps the cookie and unadvises before letting it go.
class CWebBrowserEvents2 : public UntypedDispatch, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept;

  // Null swallows every event.
  BOOL SetHandler(CWebBrowserEventHandler* handler) noexcept;

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) noexcept override;

 private:
  // Not owned: it must outlive the time events can arrive.
  CWebBrowserEventHandler* m_pHandler = nullptr;
};

// One sink advised on a browser's events, for the life of this object or until Disconnect; the
// sink is cut off from its handler when it goes, so a source that keeps it reaches no one.
class CWebBrowserEventConnection {
 public:
  CWebBrowserEventConnection() noexcept = default;
  CWebBrowserEventConnection(const CWebBrowserEventConnection&) = delete;
  CWebBrowserEventConnection& operator=(const CWebBrowserEventConnection&) = delete;
  ~CWebBrowserEventConnection() { Disconnect(); }

  HRESULT Connect(const ComPtr<IUnknown>& browser, CWebBrowserEventHandler* handler) noexcept;
  void SetHandler(CWebBrowserEventHandler* handler) noexcept;
  void Disconnect() noexcept;

 private:
  ComPtr<ComObject<CWebBrowserEvents2>> m_pSink;
  ComPtr<IConnectionPoint> m_pPoint;
  DWORD m_dwCookie = 0;
};

}  // namespace tavrin
