#pragma once
// Browser events as virtual calls: a handler with one empty method per DWebBrowserEvents2 event,
// and the automation sink that a browser's connection point invokes.

#include "framework/com_object.h"
#include "framework/untyped_dispatch.h"

#include <oaidl.h>

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

// Passes every event on to another handler, when one is set; a subclass replaces single events.
class CWebBrowserEventForwarder : public CWebBrowserEventHandler {
 public:
  void StatusTextChange(const std::wstring& text) override;
  void ProgressChange(long progress, long progressMax) override;
  void CommandStateChange(long command, BOOL enable) override;
  void DownloadBegin() override;
  void DownloadComplete() override;
  void TitleChange(const std::wstring& text) override;
  void PropertyChange(const std::wstring& property) override;
  void BeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                       VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel) override;
  void NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel) override;
  void NavigateComplete2(IDispatch* pDisp, VARIANT* url) override;
  void DocumentComplete(IDispatch* pDisp, VARIANT* url) override;
  void OnQuit() override;
  void OnVisible(BOOL visible) override;
  void OnToolBar(BOOL toolBar) override;
  void OnMenuBar(BOOL menuBar) override;
  void OnStatusBar(BOOL statusBar) override;
  void OnFullScreen(BOOL fullScreen) override;
  void OnTheaterMode(BOOL theaterMode) override;
  void WindowSetResizable(BOOL resizable) override;
  void WindowSetLeft(long left) override;
  void WindowSetTop(long top) override;
  void WindowSetWidth(long width) override;
  void WindowSetHeight(long height) override;
  void WindowClosing(BOOL isChildWindow, VARIANT_BOOL* cancel) override;
  void ClientToHostWindow(long* cx, long* cy) override;
  void SetSecureLockIcon(long secureLockIcon) override;
  void FileDownload(VARIANT_BOOL* cancel) override;
  void NavigateError(IDispatch* pDisp, VARIANT* url, VARIANT* frame, VARIANT* statusCode,
                     VARIANT_BOOL* cancel) override;
  void PrintTemplateInstantiation(IDispatch* pDisp) override;
  void PrintTemplateTeardown(IDispatch* pDisp) override;
  void UpdatePageStatus(IDispatch* pDisp, VARIANT* nPage, VARIANT* fDone) override;
  void PrivacyImpactedStateChange(BOOL impacted) override;

 protected:
  ~CWebBrowserEventForwarder() = default;

  // Not owned: it must outlive the time events can arrive.
  CWebBrowserEventHandler* m_pHandler = nullptr;
};

// Converts the arguments of DWebBrowserEvents2 event `id` and calls the handler's method. Unknown
// ids give DISP_E_MEMBERNOTFOUND, a wrong argument count DISP_E_BADPARAMCOUNT, an argument of the
// wrong kind DISP_E_TYPEMISMATCH (with its position in *argError); the handler is then not called.
HRESULT InvokeWebBrowserEvent(CWebBrowserEventHandler& handler, DISPID id, const DISPPARAMS* params,
                              UINT* argError) noexcept;

// The sink for a browser's DWebBrowserEvents2 connection point. Created as ComObject; the owner
// advises it, keeps the cookie and unadvises before letting it go.
class CWebBrowserEvents2 : public UntypedDispatch,
                           public CWebBrowserEventForwarder,
                           public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept;

  // Null swallows every event.
  BOOL SetHandler(CWebBrowserEventHandler* handler) noexcept;

  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                             DISPID* ids) noexcept override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) noexcept override;
};

}  // namespace tavrin
