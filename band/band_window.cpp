#include "band/band_window.h"

#include "band/band_constants.h"
#include "band/mshtml_refresh.h"
#include "band/settings.h"
#include "band/settings_dialog.h"
#include "framework/gdi.h"
#include "framework/module.h"
#include "resources/resource.h"
#include "shared/version_dialog.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

namespace tavrin {
namespace {

struct ButtonTexts {
  UINT command;
  int image;
  const wchar_t* text;
  const wchar_t* toolTip;
  const wchar_t* menuText;
};

// In button order.
constexpr std::array<ButtonTexts, 4> kButtons{{
    {kAutoSyncCommand, kAutoSyncImage, L"自動同期",
     L"ページを移動した場合、自動的にアンカー情報を更新します。", L"自動同期(&S)"},
    {kRefreshCommand, kRefreshImage, L"更新", L"現在表示しているページのアンカー情報に更新します。",
     L"更新(&R)"},
    {kSettingsCommand, kSettingsImage, L"設定", L"動作に関する設定を行います。", L"設定(&O)"},
    {kVersionCommand, kVersionImage, L"バージョン情報", L"バージョン情報を表示します。",
     L"バージョン情報(&A)..."},
}};

// A flag that is set for as long as a scope lasts, however it ends.
class CFlagScope {
 public:
  explicit CFlagScope(BOOL& flag) noexcept : m_flag(flag) { m_flag = TRUE; }
  ~CFlagScope() { m_flag = FALSE; }
  CFlagScope(const CFlagScope&) = delete;
  CFlagScope& operator=(const CFlagScope&) = delete;

 private:
  BOOL& m_flag;
};

const ButtonTexts* FindButton(UINT_PTR command) noexcept {
  const auto found = std::ranges::find(kButtons, command, &ButtonTexts::command);
  return found == kButtons.end() ? nullptr : &*found;
}

constexpr DWORD kToolbarStyle = WS_CHILD | WS_VISIBLE | TBSTYLE_LIST | TBSTYLE_FLAT |
                                TBSTYLE_TOOLTIPS | CCS_NODIVIDER | CCS_NORESIZE | CCS_NOMOVEY |
                                CCS_TOP;
constexpr DWORD kToolbarExStyle = TBSTYLE_EX_DRAWDDARROWS | TBSTYLE_EX_MIXEDBUTTONS |
                                  TBSTYLE_EX_HIDECLIPPEDBUTTONS | TBSTYLE_EX_DOUBLEBUFFER;
// The band structure as comctl32 4.71 knows it, so version 5 and version 6 both take it.
constexpr UINT kBandInfoSize = offsetof(REBARBANDINFOW, cxHeader) + sizeof(UINT);

using UniqueMenu = UniqueAny<HMENU, &::DestroyMenu>;

// "res://<this module's path>/<id>": a page of the band's own resources.
std::wstring ResourcePage(UINT id) {
  return L"res://" + ModuleFileName() + L"/" + std::to_wstring(id);
}

HWND CreateChild(const wchar_t* className, DWORD style, HWND parent, UINT id) noexcept {
  return CreateWindowExW(0, className, L"", style, 0, 0, 0, 0, parent,
                         reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), ModuleInstance(),
                         nullptr);
}

// The address of a document; null when it has none or cannot tell.
UniqueBstr DocumentUrl(IHTMLDocument2* document) noexcept {
  UniqueBstr url;
  if (document && FAILED(document->get_URL(url.put()))) url.reset();
  return url;
}

bool SameUrl(const UniqueBstr& a, const UniqueBstr& b) noexcept {
  if (!a || !b) return !a && !b;
  return std::wstring_view(a.get(), SysStringLen(a.get())) ==
         std::wstring_view(b.get(), SysStringLen(b.get()));
}

}  // namespace

CBandWindow::CBandWindow() {
  CreateSettingsKey();
}

HWND CBandWindow::Create(HWND parent, IWebBrowser2* mainBrowser, IUnknown* owner) noexcept {
  m_pMainBrowser = mainBrowser;
  m_pOwner = owner;
  return CWindowBase::Create({.className = kBandWindowClass,
                              .cursor = nullptr,
                              .parent = parent,
                              .style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                              .id = kBandWindowId});
}

BOOL CBandWindow::GetCommandMenuText(UINT command, std::wstring& text) {
  const ButtonTexts* button = FindButton(command);
  text = button ? button->menuText : L"不明";
  return button != nullptr;
}

std::optional<LRESULT> CBandWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const ComPtr<IUnknown> owner(m_pOwner);
  switch (message) {
    case WM_CREATE:
      return OnCreate();
    case WM_SIZE:
      OnSize(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(Handle(), &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
      return 1;
    }
    case WM_PAINT: {
      const CPaintDc dc(Handle());
      PaintLine(dc.get());
      return 0;
    }
    case WM_PRINTCLIENT:
      PaintLine(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SETFOCUS:
      if (m_wndView.Handle()) SetFocus(m_wndView.Handle());
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
      OnCommand(wParam);
      return 0;
    case WM_DESTROY:
      // The band object may let the main browser go once this window is gone.
      m_pMainBrowser = nullptr;
      m_hwndToolbar = nullptr;
      m_hwndRebar = nullptr;
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

// The parts are not checked: without one the bar simply lacks it. A failure part-way (no memory)
// ends with the bar as far as it got.
LRESULT CBandWindow::OnCreate() {
  const INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                     ICC_BAR_CLASSES | ICC_COOL_CLASSES};
  InitCommonControlsEx(&classes);

  m_wndView.SetEventHandler(this);
  m_wndView.Create({.parent = Handle(),
                    .style = WS_CHILD | WS_VISIBLE,
                    .id = kViewId,
                    .blockedKeys = {VK_F5},
                    .scrollBars = TRUE});
  // A control created a moment ago can drop its first navigation.
  const std::wstring blank = ResourcePage(IDR_BLANK_PAGE);
  m_wndView.Navigate(blank);
  m_wndView.Navigate(blank);

  m_hwndRebar = CreateChild(REBARCLASSNAMEW, WS_CHILD | WS_VISIBLE, Handle(), kRebarId);
  m_hwndToolbar = CreateChild(TOOLBARCLASSNAMEW, kToolbarStyle, Handle(), kToolbarId);
  if (!m_hwndToolbar) return 0;
  SendMessageW(m_hwndToolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageW(m_hwndToolbar, TB_SETSTYLE, 0, kToolbarStyle);
  SendMessageW(m_hwndToolbar, TB_SETEXTENDEDSTYLE, 0, kToolbarExStyle);
  if (const auto tips = reinterpret_cast<HWND>(SendMessageW(m_hwndToolbar, TB_GETTOOLTIPS, 0, 0))) {
    SetWindowLongPtrW(tips, GWL_STYLE, GetWindowLongPtrW(tips, GWL_STYLE) | TTS_ALWAYSTIP);
    RECT margins{2, 2, 2, 2};
    SendMessageW(tips, TTM_SETMARGIN, 0, reinterpret_cast<LPARAM>(&margins));
  }
  m_imageList.reset(ImageList_LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDB_TOOLBAR),
                                         kImageWidth, 3, kImageMask, IMAGE_BITMAP, 0));
  SendMessageW(m_hwndToolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_imageList.get()));
  for (size_t i = 0; i < kButtons.size(); ++i)
    InsertButton(static_cast<int>(i), kButtons[i].image, kButtons[i].command, kButtons[i].text);
  SendMessageW(m_hwndToolbar, TB_CHECKBUTTON, kAutoSyncCommand,
               MAKELPARAM(ReadSetting(kAutoSyncValue), 0));

  REBARBANDINFOW band{};
  band.cbSize = kBandInfoSize;
  band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE;
  band.hwndChild = m_hwndToolbar;
  band.cxMinChild = 55;
  band.cyMinChild = 22;
  if (m_hwndRebar)
    SendMessageW(m_hwndRebar, RB_INSERTBANDW, static_cast<WPARAM>(-1),
                 reinterpret_cast<LPARAM>(&band));
  return 0;
}

void CBandWindow::InsertButton(int index, int image, UINT command, const wchar_t* text) {
  // A string list: each entry ends with a NUL, the list with a second one.
  std::wstring list(text);
  list.push_back(L'\0');
  TBBUTTON button{};
  button.iBitmap = image;
  button.idCommand = static_cast<int>(command);
  button.fsState = TBSTATE_ENABLED;
  button.fsStyle = BTNS_SHOWTEXT;
  button.iString =
      SendMessageW(m_hwndToolbar, TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(list.c_str()));
  SendMessageW(m_hwndToolbar, TB_INSERTBUTTONW, index, reinterpret_cast<LPARAM>(&button));
}

void CBandWindow::OnSize(int width, int height) noexcept {
  if (m_hwndRebar) MoveWindow(m_hwndRebar, 0, 0, width, kRebarHeight, TRUE);
  if (m_wndView.Handle())
    MoveWindow(m_wndView.Handle(), 0, kViewTop, width, std::max(0, height - kViewTop), TRUE);
  UpdateToolbarBand();
}

// Under the rebar only the row between it and the view stays visible: the grey line.
void CBandWindow::PaintLine(HDC dc) noexcept {
  RECT area{};
  GetClientRect(Handle(), &area);
  area.top = kRebarHeight;
  const UniqueGdiObject brush(CreateSolidBrush(kLineColour));
  if (brush) FillRect(dc, &area, static_cast<HBRUSH>(brush.get()));
}

// The rebar shows a chevron whenever its band is narrower than the whole toolbar.
void CBandWindow::UpdateToolbarBand() noexcept {
  if (!m_hwndRebar || !m_hwndToolbar) return;
  const auto buttons = static_cast<int>(SendMessageW(m_hwndToolbar, TB_BUTTONCOUNT, 0, 0));
  RECT last{};
  if (buttons > 0)
    SendMessageW(m_hwndToolbar, TB_GETITEMRECT, buttons - 1, reinterpret_cast<LPARAM>(&last));
  const auto bands = static_cast<UINT>(SendMessageW(m_hwndRebar, RB_GETBANDCOUNT, 0, 0));
  for (UINT i = 0; i < bands; ++i) {
    REBARBANDINFOW band{};
    band.cbSize = kBandInfoSize;
    band.fMask = RBBIM_STYLE | RBBIM_CHILD;
    if (!SendMessageW(m_hwndRebar, RB_GETBANDINFOW, i, reinterpret_cast<LPARAM>(&band)) ||
        band.hwndChild != m_hwndToolbar) {
      continue;
    }
    band.fMask = RBBIM_STYLE | RBBIM_IDEALSIZE;
    band.fStyle |= RBBS_USECHEVRON;
    band.cxIdeal = buttons > 0 ? static_cast<UINT>(last.right) : 0;
    SendMessageW(m_hwndRebar, RB_SETBANDINFOW, i, reinterpret_cast<LPARAM>(&band));
    return;
  }
}

std::optional<LRESULT> CBandWindow::OnNotify(const NMHDR& header) {
  switch (header.code) {
    case TTN_NEEDTEXTW:
    case TTN_NEEDTEXTA:
      if (!OnToolTipText(header)) return std::nullopt;
      return 0;
    case RBN_CHEVRONPUSHED:
      if (header.idFrom != kRebarId) return std::nullopt;
      ShowChevronMenu(reinterpret_cast<const NMREBARCHEVRON&>(header));
      return 0;
    default:
      return std::nullopt;
  }
}

// The wide form points at the constant text; the ANSI one at a conversion that outlives the call.
BOOL CBandWindow::OnToolTipText(const NMHDR& header) {
  const ButtonTexts* button = FindButton(header.idFrom);
  if (!button) return FALSE;
  if (header.code == TTN_NEEDTEXTW) {
    auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
    info.hinst = nullptr;
    info.lpszText = const_cast<wchar_t*>(button->toolTip);
    return TRUE;
  }
  const int size =
      WideCharToMultiByte(CP_ACP, 0, button->toolTip, -1, nullptr, 0, nullptr, nullptr);
  m_strToolTipAnsi.assign(std::max(size, 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, button->toolTip, -1, m_strToolTipAnsi.data(), size, nullptr,
                      nullptr);
  auto& info = const_cast<NMTTDISPINFOA&>(reinterpret_cast<const NMTTDISPINFOA&>(header));
  info.hinst = nullptr;
  info.lpszText = m_strToolTipAnsi.data();
  return TRUE;
}

// Offers the buttons that the narrowed band hides; the chosen one arrives as WM_COMMAND.
void CBandWindow::ShowChevronMenu(const NMREBARCHEVRON& chevron) {
  if (!m_hwndToolbar) return;
  POINT anchor{chevron.rc.left, chevron.rc.bottom};
  MapWindowPoints(chevron.hdr.hwndFrom, nullptr, &anchor, 1);
  RECT toolbar{};
  GetWindowRect(m_hwndToolbar, &toolbar);

  const UniqueMenu menu(CreatePopupMenu());
  if (!menu) return;
  bool added = false;
  const auto buttons = static_cast<int>(SendMessageW(m_hwndToolbar, TB_BUTTONCOUNT, 0, 0));
  for (int i = 0; i < buttons; ++i) {
    TBBUTTON button{};
    if (!SendMessageW(m_hwndToolbar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button))) continue;
    if (button.fsStyle & BTNS_SEP) {
      if (added) AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
      continue;
    }
    RECT item{};
    SendMessageW(m_hwndToolbar, TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
    MapWindowPoints(m_hwndToolbar, nullptr, reinterpret_cast<POINT*>(&item), 2);
    if (!(button.fsState & TBSTATE_HIDDEN) && item.right <= toolbar.right) continue;
    std::wstring text;
    GetCommandMenuText(static_cast<UINT>(button.idCommand), text);
    const bool enabled =
        SendMessageW(m_hwndToolbar, TB_ISBUTTONENABLED, button.idCommand, 0) != FALSE;
    AppendMenuW(menu.get(), MF_STRING | (enabled ? MF_ENABLED : MF_DISABLED | MF_GRAYED),
                static_cast<UINT_PTR>(button.idCommand), text.c_str());
    added = true;
  }
  if (!added) return;
  SetForegroundWindow(Handle());
  TrackPopupMenu(menu.get(), TPM_LEFTALIGN | TPM_RIGHTBUTTON, anchor.x, anchor.y, 0, Handle(),
                 nullptr);
  // Lets the menu close properly when the user clicks elsewhere.
  PostMessageW(Handle(), WM_NULL, 0, 0);
}

BOOL CBandWindow::IsButtonChecked(UINT command) const noexcept {
  return m_hwndToolbar && SendMessageW(m_hwndToolbar, TB_ISBUTTONCHECKED, command, 0) != 0;
}

void CBandWindow::EnableWaitButtons(BOOL enable) noexcept {
  if (!m_hwndToolbar) return;
  for (const UINT command : {kAutoSyncCommand, kRefreshCommand})
    SendMessageW(m_hwndToolbar, TB_ENABLEBUTTON, command, MAKELPARAM(enable, 0));
}

void CBandWindow::OnCommand(WPARAM command) {
  switch (command) {
    case kAutoSyncCommand: {
      const BOOL on = !IsButtonChecked(kAutoSyncCommand);
      SendMessageW(m_hwndToolbar, TB_CHECKBUTTON, kAutoSyncCommand, MAKELPARAM(on, 0));
      WriteSetting(kAutoSyncValue, on ? 1 : 0);
      break;
    }
    case kRefreshCommand:
      if (RefreshAnchorList())
        SendMessageW(m_hwndToolbar, TB_CHANGEBITMAP, kRefreshCommand, kRefreshImage);
      break;
    // Both dialogs are owned by the bar, so it cannot be closed or asked again under them.
    case kSettingsCommand:
      RunSettingsCommand(Handle());
      break;
    case kVersionCommand:
      CVersionDialog(IDI_TAVRIN_ABOUT, true).Run(Handle());
      break;
    default:
      break;
  }
}

// The run lets messages through, and with them a new page wait or the window's end: it works on
// references and a copy of the document list of its own.
BOOL CBandWindow::RefreshAnchorList() noexcept {
  // A build already running further up the stack finishes the job.
  if (m_bBuildingList) return FALSE;
  const ComPtr<IWebBrowser2> mainBrowser(m_pMainBrowser);
  const ComPtr<IWebBrowser2> viewBrowser(ViewBrowser());
  ComPtr<IDispatch> dispatch;
  ComPtr<IHTMLDocument2> document;
  if (mainBrowser && SUCCEEDED(mainBrowser->get_Document(dispatch.put())) && dispatch) {
    const HRESULT hr = dispatch->QueryInterface(IID_PPV_ARGS(document.put()));
    // A document that is not HTML has no list; one that cannot answer is asked again later.
    if (FAILED(hr) && hr != E_NOINTERFACE) return FALSE;
  }
  try {
    std::vector<ComPtr<IHTMLDocument2>> frameDocuments;
    for (const RecordedDocument& recorded : m_arrFrameDocuments)
      frameDocuments.push_back(recorded.document);
    const CFlagScope building(m_bBuildingList);
    mshtml::ListBrowserAnchorsIntoView(mainBrowser.get(), document.get(), frameDocuments,
                                       viewBrowser.get());
    return TRUE;
  } catch (...) {
    static_cast<void>(LOG_CAUGHT_EXCEPTION());
    return FALSE;
  }
}

BOOL CBandWindow::BeginPageWait() noexcept {
  m_arrFrameDocuments.clear();
  EnableWaitButtons(FALSE);
  if (IsButtonChecked(kAutoSyncCommand)) {
    try {
      m_wndView.Navigate(ResourcePage(IDR_LOADING_PAGE));
    } catch (...) {
      static_cast<void>(LOG_CAUGHT_EXCEPTION());
    }
  }
  return TRUE;
}

BOOL CBandWindow::FinishPageWait() noexcept {
  EnableWaitButtons(TRUE);
  if (m_bFirstBuild) {
    m_bFirstBuild = FALSE;
    RefreshAnchorList();
    return TRUE;
  }
  if (!IsWindowVisible(Handle())) return TRUE;
  if (IsButtonChecked(kAutoSyncCommand)) {
    RefreshAnchorList();
  } else if (m_hwndToolbar) {
    SendMessageW(m_hwndToolbar, TB_CHANGEBITMAP, kRefreshCommand, kStaleRefreshImage);
  }
  return TRUE;
}

BOOL CBandWindow::RecordFrameDocument(IDispatch* pDisp) noexcept {
  const auto browser = ComPtr<IDispatch>(pDisp).try_query<IWebBrowser2>();
  if (!browser) return FALSE;
  ComPtr<IDispatch> dispatch;
  if (FAILED(browser->get_Document(dispatch.put()))) return FALSE;
  const auto document = dispatch.try_query<IHTMLDocument2>();
  if (!document) return FALSE;
  const auto identity = browser.try_query<IUnknown>();
  // The document recorded from this browser before is torn down: the new one takes its place,
  // unless another browser's record has its address already.
  auto place = m_arrFrameDocuments.end();
  const auto shown = std::ranges::find(m_arrFrameDocuments, identity.get(),
                                       [](const RecordedDocument& r) { return r.browser.get(); });
  if (shown != m_arrFrameDocuments.end()) place = m_arrFrameDocuments.erase(shown);
  if (IsDocumentRecorded(document.get())) return TRUE;
  try {
    m_arrFrameDocuments.insert(place, {identity, document});
    return TRUE;
  } catch (...) {
    static_cast<void>(LOG_CAUGHT_EXCEPTION());
    return FALSE;
  }
}

BOOL CBandWindow::IsDocumentRecorded(IHTMLDocument2* document) noexcept {
  const UniqueBstr url = DocumentUrl(document);
  return std::ranges::any_of(m_arrFrameDocuments, [&](const RecordedDocument& recorded) {
    return SameUrl(DocumentUrl(recorded.document.get()), url);
  });
}

void CBandWindow::StatusTextChange(const std::wstring& text) {
  const ComPtr<IUnknown> owner(m_pOwner);
  if (!m_pMainBrowser) return;
  const UniqueBstr status(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  if (status) m_pMainBrowser->put_StatusText(status.get());
}

// Web pages open in the main browser; the band's own pages and other schemes stay in the view.
void CBandWindow::BeforeNavigate2(IDispatch*, VARIANT* url, VARIANT* flags,
                                  VARIANT* targetFrameName, VARIANT* postData, VARIANT* headers,
                                  VARIANT_BOOL* cancel) {
  const ComPtr<IUnknown> owner(m_pOwner);
  if (!m_pMainBrowser || !url || V_VT(url) != VT_BSTR || !V_BSTR(url) || !cancel) return;
  if (!std::wstring_view(V_BSTR(url), SysStringLen(V_BSTR(url))).starts_with(L"http")) return;
  *cancel = VARIANT_TRUE;
  m_pMainBrowser->Navigate(V_BSTR(url), flags, targetFrameName, postData, headers);
}

}  // namespace tavrin
