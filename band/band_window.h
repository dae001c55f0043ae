#pragma once
// The band window: the toolbar in its rebar, the one-pixel line and the HTML view with the list.
// It runs the toolbar's commands, keeps the documents of the page wait, and as the view's event
// handler sends clicked web links to the main browser and the view's status text there too.

#include "band/band_html_view.h"
#include "browserview/web_browser_events.h"
#include "framework/com_ptr.h"
#include "framework/unique_any.h"
#include "framework/window.h"

#include <commctrl.h>
#include <exdisp.h>
#include <mshtml.h>

#include <string>
#include <vector>

namespace tavrin {

using UniqueImageList = UniqueAny<HIMAGELIST, &::ImageList_Destroy>;

class CBandWindow : public CWindowBase, public CWebBrowserEventHandler {
 public:
  // Makes sure the settings key exists.
  CBandWindow();

  // Neither is owned: the band object holds the main browser for longer than this window lives,
  // and `owner` (null: none) is this object's. The owner is held for the length of every message
  // and view event, since a list build may let the last outside reference to it go. Null on
  // failure.
  HWND Create(HWND parent, IWebBrowser2* mainBrowser, IUnknown* owner) noexcept;

  // The chevron menu's text of a toolbar command; "不明" and FALSE for any other id.
  static BOOL GetCommandMenuText(UINT command, std::wstring& text);

  // Page wait: the band object starts one, records the documents that complete, and finishes it
  // once the main browser is ready.
  BOOL BeginPageWait() noexcept;
  BOOL FinishPageWait() noexcept;
  // TRUE when the document of the browser pDisp is recorded, now or before. A browser that
  // replaced the document recorded from it (a frame's navigation, a reload included) gets the new
  // one recorded at the old one's place, since the old one is torn down.
  BOOL RecordFrameDocument(IDispatch* pDisp) noexcept;
  // By address: two documents without one match too.
  BOOL IsDocumentRecorded(IHTMLDocument2* document) noexcept;
  // A list build can let messages through (MSHTML, the status text): a tick that arrives then
  // must wait for the next one.
  BOOL IsBuildingList() const noexcept { return m_bBuildingList; }

  // The view's browser; empty before creation and after destruction.
  IWebBrowser2* ViewBrowser() const noexcept { return m_wndView.Browser(); }

 protected:
  ~CBandWindow() override = default;
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The view's events.
  void StatusTextChange(const std::wstring& text) override;
  void BeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                       VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel) override;

 private:
  LRESULT OnCreate();
  void OnSize(int width, int height) noexcept;
  void PaintLine(HDC dc) noexcept;
  void OnCommand(WPARAM command);
  std::optional<LRESULT> OnNotify(const NMHDR& header);
  BOOL OnToolTipText(const NMHDR& header);
  void ShowChevronMenu(const NMREBARCHEVRON& chevron);
  void UpdateToolbarBand() noexcept;
  void InsertButton(int index, int image, UINT command, const wchar_t* text);
  BOOL IsButtonChecked(UINT command) const noexcept;
  void EnableWaitButtons(BOOL enable) noexcept;
  // Runs the list into the view; FALSE when the main document could not be asked.
  BOOL RefreshAnchorList() noexcept;

  // Not owned.
  IWebBrowser2* m_pMainBrowser = nullptr;
  IUnknown* m_pOwner = nullptr;
  CWindow<CBandHtmlView> m_wndView;
  UniqueImageList m_imageList;
  // Children of this window, destroyed with it.
  HWND m_hwndToolbar = nullptr;
  HWND m_hwndRebar = nullptr;
  BOOL m_bFirstBuild = TRUE;
  BOOL m_bBuildingList = FALSE;
  struct RecordedDocument {
    // The identity of the browser that showed it.
    ComPtr<IUnknown> browser;
    ComPtr<IHTMLDocument2> document;
  };
  std::vector<RecordedDocument> m_arrFrameDocuments;
  // A tooltip's text in the ANSI code page, held until the next request.
  std::string m_strToolTipAnsi;
};

}  // namespace tavrin
