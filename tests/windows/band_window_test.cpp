// The band window without a browser page: toolbar, tooltips, chevron texts, layout, settings,
// the page-wait bookkeeping and the view's redirects, against stand-ins for the main browser.

#include "band/band_constants.h"
#include "band/band_window.h"
#include "dialogs/dialog_driver.h"
#include "framework/com_object.h"
#include "framework/unique_any.h"
#include "not_implemented_band_window.h"
#include "not_implemented_dispatch.h"
#include "band/settings.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

// A document that only knows its address (none when null).
class Document : public NotImplDispatch<NotImplHtmlDocument2>, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    static const InterfaceEntry table[] = {InterfaceOf<Document, IHTMLDocument2>(),
                                           InterfaceOf<Document, IHTMLDocument, IHTMLDocument2>(),
                                           InterfaceOf<Document, IDispatch, IHTMLDocument2>()};
    return table;
  }
  explicit Document(const wchar_t* url) : m_url(url) {}
  STDMETHODIMP get_URL(BSTR* url) override {
    *url = m_url ? SysAllocString(m_url) : nullptr;
    return S_OK;
  }

 private:
  const wchar_t* m_url;
};

// A browser showing one document; the main browser also remembers what the bar asked of it.
class Browser : public NotImplDispatch<NotImplWebBrowser2>, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    static const InterfaceEntry table[] = {InterfaceOf<Browser, IWebBrowser2>(),
                                           InterfaceOf<Browser, IDispatch, IWebBrowser2>()};
    return table;
  }
  STDMETHODIMP get_Document(IDispatch** document) override {
    return m_pDocument.try_query<IDispatch>().copy_to(document);
  }
  STDMETHODIMP Navigate(BSTR url, VARIANT* flags, VARIANT*, VARIANT*, VARIANT*) override {
    navigations.emplace_back(url);
    navigationFlags = flags;
    return S_OK;
  }
  STDMETHODIMP put_StatusText(BSTR text) override {
    statusTexts.emplace_back(text ? text : L"");
    return S_OK;
  }

  ComPtr<IHTMLDocument2> m_pDocument;
  std::vector<std::wstring> navigations;
  VARIANT* navigationFlags = nullptr;
  std::vector<std::wstring> statusTexts;
};

ComPtr<ComObject<Browser>> BrowserShowing(const wchar_t* url) {
  auto browser = MakeComObject<Browser>();
  browser->m_pDocument = MakeComObject<Document>(url).get();
  return browser;
}

HWND FindDescendant(HWND parent, UINT id) {
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (static_cast<UINT>(GetDlgCtrlID(child)) == id) return child;
    if (const HWND found = FindDescendant(child, id)) return found;
  }
  return nullptr;
}

// The window's rectangle in its parent's client coordinates.
RECT PlaceInParent(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

class BandWindow : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    m_host.reset(CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_CLIPCHILDREN, 0, 0, 300, 400,
                                 nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(m_host);
  }
  void TearDown() override {
    m_band.reset();
    m_host.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  }

  static void StoreAutoSync(std::optional<DWORD> value) {
    CreateSettingsKey();
    if (value) {
      RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kAutoSyncValue, REG_DWORD, &*value,
                      sizeof(DWORD));
    } else {
      RegDeleteKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kAutoSyncValue);
    }
  }

  void CreateBand(int width = 300, int height = 400) {
    m_band.emplace();
    ASSERT_TRUE(m_band->Create(m_host.get(), m_main.get(), nullptr));
    MoveWindow(m_band->Handle(), 0, 0, width, height, TRUE);
    m_toolbar = FindDescendant(m_band->Handle(), kToolbarId);
    m_rebar = FindDescendant(m_band->Handle(), kRebarId);
    ASSERT_TRUE(m_toolbar);
    ASSERT_TRUE(m_rebar);
  }

  TBBUTTON Button(int index) const {
    TBBUTTON button{};
    EXPECT_TRUE(SendMessageW(m_toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)));
    return button;
  }
  bool Enabled(UINT command) const {
    return SendMessageW(m_toolbar, TB_ISBUTTONENABLED, command, 0) != 0;
  }
  bool Checked(UINT command) const {
    return SendMessageW(m_toolbar, TB_ISBUTTONCHECKED, command, 0) != 0;
  }
  int RefreshImage() const { return Button(1).iBitmap; }
  void Command(UINT command) const { SendMessageW(m_band->Handle(), WM_COMMAND, command, 0); }

  UniqueAny<HWND, &::DestroyWindow> m_host;
  ComPtr<ComObject<Browser>> m_main = MakeComObject<Browser>();
  std::optional<CWindow<CBandWindow>> m_band;
  HWND m_toolbar = nullptr;
  HWND m_rebar = nullptr;
};

TEST_F(BandWindow, ConstructionMakesSureOfTheSettingsKeyWithoutValues) {
  CWindow<CBandWindow> band;
  UniqueHkey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()), ERROR_SUCCESS);
  DWORD values = 1;
  ASSERT_EQ(RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             &values, nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 0u);
}

TEST_F(BandWindow, ToolbarHasItsStylesButtonsTextsAndImages) {
  ShowWindow(m_host.get(), SW_SHOWNOACTIVATE);
  CreateBand(300, 120);
  // To look at: build/win64/tests/windows/band_window.png.
  EXPECT_TRUE(SaveWindowPicture(m_band->Handle(), L"band_window"));
  EXPECT_EQ(GetDlgCtrlID(m_band->Handle()), static_cast<int>(kBandWindowId));
  for (const int field : {GCL_STYLE, GCLP_HCURSOR, GCLP_HBRBACKGROUND, GCLP_HICON})
    EXPECT_EQ(GetClassLongPtrW(m_band->Handle(), field), 0) << "a plain class: " << field;
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(m_toolbar, GWL_STYLE)), 0x50001947u);
  EXPECT_EQ(SendMessageW(m_toolbar, TB_GETEXTENDEDSTYLE, 0, 0), 0x99);
  EXPECT_TRUE(
      GetWindowLongPtrW(reinterpret_cast<HWND>(SendMessageW(m_toolbar, TB_GETTOOLTIPS, 0, 0)),
                        GWL_STYLE) &
      TTS_ALWAYSTIP);

  const auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(m_toolbar, TB_GETIMAGELIST, 0, 0));
  ASSERT_TRUE(images);
  EXPECT_EQ(ImageList_GetImageCount(images), 5);
  int width = 0;
  int height = 0;
  ImageList_GetIconSize(images, &width, &height);
  EXPECT_EQ(width, 16);
  EXPECT_EQ(height, 15);

  struct Expected {
    UINT command;
    int image;
    const wchar_t* text;
  };
  const Expected expected[] = {
      {100, 0, L"自動同期"}, {101, 1, L"更新"}, {102, 3, L"設定"}, {103, 4, L"バージョン情報"}};
  ASSERT_EQ(SendMessageW(m_toolbar, TB_BUTTONCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    const TBBUTTON button = Button(i);
    EXPECT_EQ(static_cast<UINT>(button.idCommand), expected[i].command) << i;
    EXPECT_EQ(button.iBitmap, expected[i].image) << i;
    EXPECT_EQ(button.fsState, TBSTATE_ENABLED) << i;
    EXPECT_EQ(button.fsStyle, BTNS_SHOWTEXT) << i;
    wchar_t text[64] = {};
    SendMessageW(m_toolbar, TB_GETBUTTONTEXTW, button.idCommand, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, expected[i].text) << i;
  }
}

TEST_F(BandWindow, ToolTipsAnswerBothFormsForTheFourCommandsOnly) {
  CreateBand();
  ASSERT_EQ(GetACP(), 932u) << "the bench runs Wine with LC_ALL=ja_JP.UTF-8";
  struct Case {
    UINT id;
    const wchar_t* text;
  };
  const Case cases[] = {
      {100, L"ページを移動した場合、自動的にアンカー情報を更新します。"},
      {101, L"現在表示しているページのアンカー情報に更新します。"},
      {102, L"動作に関する設定を行います。"},
      {103, L"バージョン情報を表示します。"},
      {99, nullptr},
      {104, nullptr},
  };
  for (const Case& c : cases) {
    NMTTDISPINFOW wide{};
    wide.hdr = {m_toolbar, c.id, TTN_NEEDTEXTW};
    SendMessageW(m_band->Handle(), WM_NOTIFY, c.id, reinterpret_cast<LPARAM>(&wide));
    NMTTDISPINFOA ansi{};
    ansi.hdr = {m_toolbar, c.id, TTN_NEEDTEXTA};
    SendMessageW(m_band->Handle(), WM_NOTIFY, c.id, reinterpret_cast<LPARAM>(&ansi));
    if (!c.text) {
      EXPECT_EQ(wide.lpszText, nullptr) << c.id;
      EXPECT_EQ(ansi.lpszText, nullptr) << c.id;
      continue;
    }
    ASSERT_TRUE(wide.lpszText && ansi.lpszText) << c.id;
    EXPECT_STREQ(wide.lpszText, c.text) << c.id;
    wchar_t converted[128] = {};
    MultiByteToWideChar(CP_ACP, 0, ansi.lpszText, -1, converted, 128);
    EXPECT_STREQ(converted, c.text) << c.id;
  }
}

TEST(BandWindowMenu, CommandMenuTextsAndTheUnknownOne) {
  const std::pair<UINT, const wchar_t*> cases[] = {
      {100, L"自動同期(&S)"},          {101, L"更新(&R)"}, {102, L"設定(&O)"},
      {103, L"バージョン情報(&A)..."}, {99, nullptr},      {104, nullptr}};
  for (const auto& [command, text] : cases) {
    std::wstring got;
    EXPECT_EQ(CBandWindow::GetCommandMenuText(command, got), text != nullptr) << command;
    EXPECT_EQ(got, text ? text : L"不明") << command;
  }
}

TEST_F(BandWindow, SizingPlacesRebarLineAndViewAndSetsTheChevronBand) {
  for (const auto& [width, height] : {std::pair{300, 400}, std::pair{120, 20}}) {
    CreateBand(width, height);
    const HWND view = FindDescendant(m_band->Handle(), kViewId);
    ASSERT_TRUE(view);
    // The rebar fits itself to its band's height within the row it is given.
    const RECT rebar = PlaceInParent(m_rebar);
    EXPECT_EQ(rebar.left, 0);
    EXPECT_GE(rebar.top, 0);
    EXPECT_EQ(rebar.right, width);
    EXPECT_LE(rebar.bottom, 25);
    const RECT placed = PlaceInParent(view);
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 26);
    EXPECT_EQ(placed.right, width);
    EXPECT_EQ(placed.bottom, std::max(26, height)) << "a short bar gives the view no height";

    ASSERT_EQ(SendMessageW(m_rebar, RB_GETBANDCOUNT, 0, 0), 1);
    REBARBANDINFOW band{};
    band.cbSize = sizeof(band);
    band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_IDEALSIZE | RBBIM_CHILDSIZE;
    ASSERT_TRUE(SendMessageW(m_rebar, RB_GETBANDINFOW, 0, reinterpret_cast<LPARAM>(&band)));
    EXPECT_EQ(band.hwndChild, m_toolbar);
    EXPECT_TRUE(band.fStyle & RBBS_USECHEVRON);
    EXPECT_EQ(band.cxMinChild, 55u);
    EXPECT_EQ(band.cyMinChild, 22u);
    RECT last{};
    SendMessageW(m_toolbar, TB_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&last));
    EXPECT_EQ(band.cxIdeal, static_cast<UINT>(last.right));
  }
}

// Paints into a memory bitmap: the rebar's row, the grey line at y 25, nothing of it below.
TEST_F(BandWindow, PaintsTheGreyLineUnderTheRebar) {
  CreateBand(200, 100);
  const HWND view = FindDescendant(m_band->Handle(), kViewId);
  ShowWindow(view, SW_HIDE);
  ShowWindow(m_rebar, SW_HIDE);
  const HDC screen = GetDC(nullptr);
  const UniqueAny<HDC, &::DeleteDC> dc(CreateCompatibleDC(screen));
  const UniqueGdiObject bitmap(CreateCompatibleBitmap(screen, 200, 100));
  ReleaseDC(nullptr, screen);
  SelectObject(dc.get(), bitmap.get());
  SendMessageW(m_band->Handle(), WM_PRINT, reinterpret_cast<WPARAM>(dc.get()),
               PRF_CLIENT | PRF_ERASEBKGND);
  EXPECT_EQ(GetPixel(dc.get(), 10, 10), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(GetPixel(dc.get(), 10, 25), RGB(0x80, 0x80, 0x80));
}

TEST_F(BandWindow, AutoSyncButtonFollowsTheSettingAndWritesEachToggle) {
  const std::pair<std::optional<DWORD>, bool> cases[] = {
      {std::nullopt, false}, {0, false}, {1, true}, {7, true}};
  for (const auto& [stored, checked] : cases) {
    StoreAutoSync(stored);
    CreateBand();
    EXPECT_EQ(Checked(kAutoSyncCommand), checked) << stored.value_or(99);
    for (const bool expected : {!checked, checked}) {
      Command(kAutoSyncCommand);
      EXPECT_EQ(Checked(kAutoSyncCommand), expected);
      DWORD value = 99;
      DWORD size = sizeof(value);
      ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kAutoSyncValue, RRF_RT_REG_DWORD,
                             nullptr, &value, &size),
                ERROR_SUCCESS);
      EXPECT_EQ(value, expected ? 1u : 0u);
    }
  }
}

TEST_F(BandWindow, PageWaitDisablesTheButtonsAndMarksAStaleListOnlyAfterTheFirstBuild) {
  ShowWindow(m_host.get(), SW_SHOWNOACTIVATE);
  CreateBand();
  m_band->BeginPageWait();
  EXPECT_FALSE(Enabled(kAutoSyncCommand));
  EXPECT_FALSE(Enabled(kRefreshCommand));
  EXPECT_TRUE(Enabled(kSettingsCommand));

  m_band->FinishPageWait();
  EXPECT_TRUE(Enabled(kAutoSyncCommand));
  EXPECT_TRUE(Enabled(kRefreshCommand));
  EXPECT_EQ(RefreshImage(), 1) << "the first wait builds the list whatever auto-sync says";
  EXPECT_FALSE(m_main->statusTexts.empty()) << "the list run reports to the main browser";

  m_band->BeginPageWait();
  m_band->FinishPageWait();
  EXPECT_EQ(RefreshImage(), 2);
  EXPECT_EQ(static_cast<UINT>(Button(1).idCommand), kRefreshCommand);
  Command(kRefreshCommand);
  EXPECT_EQ(RefreshImage(), 1);

  // Hidden, the bar neither builds nor marks the list.
  ShowWindow(m_host.get(), SW_HIDE);
  m_band->BeginPageWait();
  m_band->FinishPageWait();
  EXPECT_EQ(RefreshImage(), 1);
}

TEST_F(BandWindow, RecordsEachDocumentOnceByAddressAndLetsThemGoAtTheNextWait) {
  CreateBand();
  const auto references = [](const ComPtr<ComObject<Browser>>& browser) {
    browser->m_pDocument->AddRef();
    return browser->m_pDocument->Release();
  };
  // Addresses compare exactly; two documents without one are the same.
  struct Case {
    const wchar_t* url;
    bool held;
  };
  const Case cases[] = {{L"http://e.com/a", true}, {L"http://e.com/a", false},
                        {L"http://e.com/A", true}, {nullptr, true},
                        {nullptr, false},          {L"http://e.com/a", false}};
  std::vector<ComPtr<ComObject<Browser>>> browsers;
  std::vector<ULONG> before;
  for (const Case& c : cases) {
    browsers.push_back(BrowserShowing(c.url));
    before.push_back(references(browsers.back()));
    EXPECT_TRUE(m_band->RecordFrameDocument(static_cast<IWebBrowser2*>(browsers.back().get())));
    EXPECT_TRUE(m_band->IsDocumentRecorded(browsers.back()->m_pDocument.get()));
  }
  EXPECT_FALSE(m_band->RecordFrameDocument(nullptr));
  const auto empty = MakeComObject<Browser>();
  EXPECT_FALSE(m_band->RecordFrameDocument(static_cast<IWebBrowser2*>(empty.get())));
  EXPECT_FALSE(m_band->IsDocumentRecorded(BrowserShowing(L"http://e.com/b")->m_pDocument.get()));

  for (size_t i = 0; i < browsers.size(); ++i)
    EXPECT_EQ(references(browsers[i]), before[i] + (cases[i].held ? 1 : 0)) << i;

  // A browser that navigated again shows a new document; the one it replaced is let go.
  const ComPtr<IHTMLDocument2> replaced = browsers[2]->m_pDocument;
  browsers[2]->m_pDocument = MakeComObject<Document>(L"http://e.com/c").get();
  EXPECT_TRUE(m_band->RecordFrameDocument(static_cast<IWebBrowser2*>(browsers[2].get())));
  EXPECT_TRUE(m_band->IsDocumentRecorded(browsers[2]->m_pDocument.get()));
  replaced->AddRef();
  EXPECT_EQ(replaced->Release(), 1u) << "the replaced document is still recorded";
  before[2] = references(browsers[2]) - 1;
  m_band->BeginPageWait();
  for (size_t i = 0; i < browsers.size(); ++i) EXPECT_EQ(references(browsers[i]), before[i]) << i;
  EXPECT_FALSE(m_band->IsDocumentRecorded(browsers[0]->m_pDocument.get()));
}

TEST_F(BandWindow, WebLinksOfTheViewOpenInTheMainBrowserAndOthersStay) {
  CreateBand();
  CWebBrowserEventHandler& handler = *m_band;
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"http://e.com/", true},        {L"https://e.com/a?b", true},
      {L"HTTP://E.COM/", false},       {L"res://C:\\Tavrin.dll/206", false},
      {L"javascript:alert(1)", false}, {L"about:blank", false}};
  for (const auto& [address, redirected] : cases) {
    m_main->navigations.clear();
    UniqueVariant url;
    VARIANT* value = url.put();
    V_VT(value) = VT_BSTR;
    V_BSTR(value) = SysAllocString(address);
    VARIANT flags{};
    VARIANT_BOOL cancel = VARIANT_FALSE;
    handler.BeforeNavigate2(nullptr, value, &flags, nullptr, nullptr, nullptr, &cancel);
    EXPECT_EQ(cancel, redirected ? VARIANT_TRUE : VARIANT_FALSE) << address;
    EXPECT_EQ(m_main->navigations,
              redirected ? std::vector<std::wstring>{address} : std::vector<std::wstring>{})
        << address;
    if (redirected) {
      EXPECT_EQ(m_main->navigationFlags, &flags) << "the view's arguments go on";
    }
  }

  m_main->statusTexts.clear();
  handler.StatusTextChange(L"http://e.com/日本");
  EXPECT_EQ(m_main->statusTexts, std::vector<std::wstring>{L"http://e.com/日本"});
}

// The dialogs are owned by the bar's top-level window, which is disabled while they run.
TEST_F(BandWindow, SettingsAndAboutBoxAreModalToTheBar) {
  ShowWindow(m_host.get(), SW_SHOWNOACTIVATE);
  CreateBand();
  for (const UINT command : {kSettingsCommand, kVersionCommand}) {
    HWND owner = nullptr;
    bool ownerEnabled = true;
    const DialogDriver driver([&](HWND dialog) {
      owner = GetWindow(dialog, GW_OWNER);
      ownerEnabled = IsWindowEnabled(m_host.get());
      EndDialog(dialog, IDCANCEL);
    });
    Command(command);
    EXPECT_TRUE(driver.Ran()) << command;
    EXPECT_EQ(owner, m_host.get()) << command;
    EXPECT_FALSE(ownerEnabled) << command;
    EXPECT_TRUE(IsWindowEnabled(m_host.get())) << command;
  }
}

}  // namespace
