// The bar as a browser drives it, through the unmodified Tavrin.dll that COM loads. The scenarios
// run in order in one process, each starting from where the one before left the bar; the real
// 2000 ms page-wait timer decides when lists appear. Every list is compared with the view page
// that the native program makes of the same snapshot.

#include "../dialogs/dialog_driver.h"
#include "../not_implemented_dispatch.h"
#include "browser_host.h"
#include "framework/text.h"
#include "framework/unique_any.h"
#include "mshtml_double.h"
#include "web_browser_double_pages.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using iehost::CBrowserHost;
using iehost::Navigation;
using tavrin::ComPtr;

namespace {

constexpr DWORD kTickMs = 2000;
// Long enough for a wait's next tick on a loaded machine.
constexpr DWORD kListTimeoutMs = 2 * kTickMs + 3000;

constexpr wchar_t kLinksPage[] = L"http://pages.example/dir/links.html";
constexpr wchar_t kSamplePage[] = L"http://www.sample.example/";
constexpr int kAutoSync = 100;
constexpr int kRefresh = 101;
constexpr int kSettings = 102;
constexpr char kTableStart[] = "<table width=\"100%\">";

// The body's content of a view page the native program wrote: what the bar's view must hold.
std::string ExpectedBody(const wchar_t* file) {
  std::ifstream in(std::filesystem::path(TAVRIN_IEHOST_PAGES) / file, std::ios::binary);
  const std::string page{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const size_t body = page.find("<body");
  const size_t start = body == std::string::npos ? body : page.find('>', body);
  const size_t end = page.rfind("</body>");
  if (start == std::string::npos || end == std::string::npos || end < start) return {};
  return page.substr(start + 1, end - start - 1);
}

// The tables of a view page, one per visited document, in visiting order.
std::vector<std::string> ExpectedTables(const wchar_t* file) {
  const std::string body = ExpectedBody(file);
  std::vector<std::string> tables;
  for (size_t at = body.find(kTableStart); at != std::string::npos;) {
    const size_t next = body.find(kTableStart, at + 1);
    tables.push_back(body.substr(at, next == std::string::npos ? next : next - at));
    at = next;
  }
  return tables;
}

std::string Join(const std::vector<std::string>& tables, std::initializer_list<size_t> order) {
  std::string joined;
  for (const size_t i : order) joined += i < tables.size() ? tables[i] : "<missing table>";
  return joined;
}

struct MenuItem {
  std::wstring text;
  bool enabled;
  bool operator==(const MenuItem&) const = default;
};

std::ostream& operator<<(std::ostream& out, const MenuItem& item) {
  return out << tavrin::WideToUtf8(item.text) << (item.enabled ? "" : " (disabled)");
}

// Read from inside the menu's own loop.
std::vector<MenuItem> g_menuItems;
wchar_t g_menuChoice = 0;

void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND menuWindow = FindWindowW(L"#32768", nullptr);
  if (!menuWindow || !IsWindowVisible(menuWindow)) return;
  KillTimer(nullptr, timer);
  const auto menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    GetMenuStringW(menu, i, text, static_cast<int>(std::size(text)), MF_BYPOSITION);
    const UINT state = GetMenuState(menu, i, MF_BYPOSITION);
    g_menuItems.push_back({text, (state & (MF_DISABLED | MF_GRAYED)) == 0});
  }
  // The item's mnemonic chooses it, as a user's key would; without one the menu closes.
  if (g_menuChoice)
    PostMessageW(menuWindow, WM_CHAR, g_menuChoice, 0);
  else
    EndMenu();
}

// Presses the rebar's chevron; what its menu offered.
std::vector<MenuItem> PushChevron(HWND rebar, wchar_t choice) {
  g_menuItems.clear();
  g_menuChoice = choice;
  const UINT_PTR timer = SetTimer(nullptr, 0, 100, &ReadOpenMenu);
  SendMessageW(rebar, RB_PUSHCHEVRON, 0, 0);
  KillTimer(nullptr, timer);
  return g_menuItems;
}

class Bar : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetEnvironmentVariableW(tavrin::test_double::kPagesVariable, TAVRIN_IEHOST_PAGES);
    iehost::DeleteSettings();
    host = std::make_unique<CBrowserHost>(
        TAVRIN_DOUBLE_DLL, std::wstring(TAVRIN_DIST_DIR) + L"\\" TAVRIN_DIST_ARCH L"\\Tavrin.dll", kLinksPage);
  }
  static void TearDownTestSuite() {
    host.reset();
    iehost::DeleteSettings();
  }
  void SetUp() override {
    ASSERT_TRUE(host);
    ASSERT_EQ(host->Failed(), "");
  }

  static bool ListShown(const std::string& expected) {
    return CBrowserHost::PumpUntil([&] { return host->ViewBody() == expected; }, kListTimeoutMs);
  }
  static bool WaitEnds() {
    return CBrowserHost::PumpUntil([] { return host->ButtonEnabled(kRefresh); }, kListTimeoutMs);
  }
  static void SetAutoSync(bool on) {
    if (host->ButtonChecked(kAutoSync) != on) host->Press(kAutoSync);
  }
  // The toolbar's window narrowed by the bar's width until exactly `fitting` buttons fit.
  static bool NarrowTo(int fitting) {
    const HWND toolbar = host->Control(151);
    RECT lastFitting{};
    RECT firstCut{};
    SendMessageW(toolbar, TB_GETITEMRECT, fitting - 1, reinterpret_cast<LPARAM>(&lastFitting));
    SendMessageW(toolbar, TB_GETITEMRECT, fitting, reinterpret_cast<LPARAM>(&firstCut));
    for (int width = CBrowserHost::kPaneWidth; width > 20; width -= 2) {
      MoveWindow(host->BandObjectWindow(), 0, 0, width, CBrowserHost::kPaneHeight, TRUE);
      RECT client{};
      GetClientRect(toolbar, &client);
      if (client.right < firstCut.right) return client.right >= lastFitting.right;
    }
    return false;
  }
  static void Widen() {
    MoveWindow(host->BandObjectWindow(), 0, 0, CBrowserHost::kPaneWidth, CBrowserHost::kPaneHeight,
               TRUE);
  }

  static inline std::unique_ptr<CBrowserHost> host;
};

TEST_F(Bar, OpensOnALoadedPageAndTheFirstTickBuildsTheListThoughAutoSyncIsOff) {
  EXPECT_EQ(iehost::ReadSetting(L"AutoSync"), std::nullopt);
  const ULONGLONG opened = GetTickCount64();
  ASSERT_EQ(host->OpenBar(), S_OK);
  for (const IID& iid :
       {IID_IDeskBand, IID_IObjectWithSite, IID_IInputObject, IID_IPersistStream}) {
    ComPtr<IUnknown> part;
    EXPECT_EQ(host->Band()->QueryInterface(iid, part.put_void()), S_OK);
  }
  EXPECT_TRUE(IsWindowVisible(host->BandObjectWindow()));
  for (const int id : {201, 152, 151, 100}) EXPECT_TRUE(host->Control(id)) << "control " << id;
  EXPECT_FALSE(host->ButtonChecked(kAutoSync));
  EXPECT_FALSE(host->ButtonEnabled(kAutoSync)) << "the first wait runs from the start";
  EXPECT_FALSE(host->ButtonEnabled(kRefresh));

  const std::string expected = ExpectedBody(L"links.view");
  ASSERT_FALSE(expected.empty());
  ASSERT_TRUE(ListShown(expected)) << "view holds: " << host->ViewBody();
  EXPECT_GE(GetTickCount64() - opened, kTickMs - 100) << "the list came before the first tick";
  EXPECT_TRUE(host->ButtonEnabled(kAutoSync));
  EXPECT_TRUE(host->ButtonEnabled(kRefresh));
  EXPECT_TRUE(host->ViewLocation().ends_with(L"/204")) << "the list goes into the blank page";
  tavrin::UniqueBstr status;
  ASSERT_EQ(host->MainBrowser()->get_StatusText(status.put()), S_OK);
  EXPECT_EQ(SysStringLen(status.get()), 0u) << "the run clears the status text it set";
}

TEST_F(Bar, FocusAndKeysGoThroughTheView) {
  const auto input = ComPtr<IDeskBand>(host->Band()).try_query<IInputObject>();
  ASSERT_TRUE(input);
  const int told = host->Site()->FocusGained();
  EXPECT_EQ(input->UIActivateIO(TRUE, nullptr), S_OK);
  EXPECT_GT(host->Site()->FocusGained(), told) << "the site hears of the focus";
  MSG key{host->Control(100), WM_KEYDOWN, VK_TAB, 0, 0, {}};
  EXPECT_EQ(input->TranslateAcceleratorIO(&key), S_FALSE) << "the view's control has no keys";
  SetFocus(host->Frame());
  EXPECT_EQ(input->HasFocusIO(), S_FALSE);
}

TEST_F(Bar, AutoSyncShowsTheLoadingPageWhileFramesLoadThenTheListOfEveryFrame) {
  host->Press(kAutoSync);
  EXPECT_TRUE(host->ButtonChecked(kAutoSync));
  EXPECT_EQ(iehost::ReadSetting(L"AutoSync"), 1u);

  // The network answers the frames last first: main (with news inside it) before nav.
  ASSERT_EQ(host->Main()->LoadFramesLastFirst(TRUE), S_OK);
  ASSERT_EQ(host->Main()->HoldLoads(TRUE), S_OK);
  host->Navigate(kSamplePage, false);
  ASSERT_EQ(host->Main()->LoadFramesLastFirst(FALSE), S_OK);
  EXPECT_TRUE(
      CBrowserHost::PumpUntil([] { return host->ViewLocation().ends_with(L"/206"); }, kTickMs));
  EXPECT_NE(host->ViewBody().find("読み込み中...<br>しばらくお待ちください。"), std::string::npos)
      << host->ViewBody();
  // Ticks while the frames load find the browser busy.
  CBrowserHost::Pump(2 * kTickMs + 500);
  EXPECT_TRUE(host->ViewLocation().ends_with(L"/206"));
  EXPECT_EQ(host->ViewBody().find("<table"), std::string::npos) << host->ViewBody();
  EXPECT_FALSE(host->ButtonEnabled(kAutoSync));
  EXPECT_FALSE(host->ButtonEnabled(kRefresh));
  // The main frame reloads its page during the same wait, with news inside it: new documents,
  // recorded at the places of the ones they replace.
  EXPECT_EQ(host->Main()->NavigateFrame(2), S_OK);
  CBrowserHost::Pump(300);
  ASSERT_EQ(host->Main()->HoldLoads(FALSE), S_OK);

  // The native program walks from the documents in document order: the top page (its table, then
  // nav's and main's), nav, main (then news inside it), news. The bar walks from them in the order
  // they first completed: the top page, main, news, nav.
  const std::vector<std::string> tables = ExpectedTables(L"sample.view");
  ASSERT_EQ(tables.size(), 7u);
  ASSERT_TRUE(ListShown(Join(tables, {0, 1, 2, 4, 5, 6, 3}))) << "view holds: " << host->ViewBody();
  EXPECT_TRUE(host->ButtonEnabled(kRefresh));
  // No button stays hot from the click on auto-sync.
  SendMessageW(host->Control(151), TB_SETHOTITEM, static_cast<WPARAM>(-1), 0);
  EXPECT_TRUE(SaveWindowPicture(host->Frame(), L"bar"));
}

TEST_F(Bar, ANavigationInsideOneFrameListsThatFrameAndThenTheMainDocument) {
  const std::vector<std::string> tables = ExpectedTables(L"sample.view");
  ASSERT_EQ(host->Main()->NavigateFrame(2), S_OK);
  EXPECT_FALSE(host->ButtonEnabled(kRefresh)) << "a frame's navigation starts a wait";
  // Only the main frame and the news frame inside it, which loads again with it, completed in
  // this wait; then the top page's walk.
  const std::string list = Join(tables, {4, 5, 6, 0, 1, 2});
  EXPECT_TRUE(ListShown(list)) << "view holds: " << host->ViewBody();

  // Again with the frame's completion late: the browser's ready state stays complete, so a tick
  // finds the page ready while the frame still loads and lists what it has so far.
  ASSERT_EQ(host->Main()->HoldFrame(2, TRUE), S_OK);
  ASSERT_EQ(host->Main()->NavigateFrame(2), S_OK);
  EXPECT_FALSE(host->ButtonEnabled(kRefresh));
  ASSERT_TRUE(WaitEnds());
  VARIANT_BOOL busy = VARIANT_FALSE;
  ASSERT_EQ(host->MainBrowser()->get_Busy(&busy), S_OK);
  EXPECT_TRUE(busy) << "the frame completed before the tick";
  EXPECT_TRUE(ListShown(list)) << "view holds: " << host->ViewBody();
  ASSERT_EQ(host->Main()->HoldFrame(2, FALSE), S_OK);
  CBrowserHost::Pump(kTickMs + 500);
  EXPECT_TRUE(host->ButtonEnabled(kRefresh)) << "the late completion started a wait";
  EXPECT_EQ(host->ViewBody(), list);
}

TEST_F(Bar, HiddenDuringALoadTheBarSkipsTheListAndShowingItAgainBuildsIt) {
  SetAutoSync(true);
  ASSERT_EQ(host->Band()->ShowDW(FALSE), S_OK);
  EXPECT_FALSE(IsWindowVisible(host->BandObjectWindow()));
  host->Navigate(kSamplePage, false);
  ASSERT_TRUE(WaitEnds());
  CBrowserHost::Pump(300);
  EXPECT_TRUE(host->ViewLocation().ends_with(L"/206")) << "the loading page stays";
  EXPECT_EQ(host->ViewBody().find("<table"), std::string::npos);

  ASSERT_EQ(host->Band()->ShowDW(TRUE), S_OK);
  EXPECT_FALSE(host->ButtonEnabled(kRefresh)) << "showing the bar starts a wait";
  // That wait recorded no document: the top page's walk alone, without the nested news frame.
  const std::vector<std::string> tables = ExpectedTables(L"sample.view");
  EXPECT_TRUE(ListShown(Join(tables, {0, 1, 2}))) << "view holds: " << host->ViewBody();
}

TEST_F(Bar, AutoSyncOffKeepsTheOldListAndMarksRefreshUntilItIsPressed) {
  host->Press(kAutoSync);
  EXPECT_FALSE(host->ButtonChecked(kAutoSync));
  EXPECT_EQ(iehost::ReadSetting(L"AutoSync"), 0u);
  const std::string before = host->ViewBody();

  host->Navigate(kLinksPage, false);
  EXPECT_FALSE(host->ButtonEnabled(kAutoSync));
  EXPECT_FALSE(host->ButtonEnabled(kRefresh));
  ASSERT_TRUE(WaitEnds());
  EXPECT_EQ(host->ViewBody(), before);
  TBBUTTON marked = host->ButtonAt(1);
  EXPECT_EQ(marked.idCommand, kRefresh);
  EXPECT_EQ(marked.iBitmap, 2) << "the out-of-date image";

  host->Press(kRefresh);
  EXPECT_EQ(host->ViewBody(), ExpectedBody(L"links.view"));
  marked = host->ButtonAt(1);
  EXPECT_EQ(marked.idCommand, kRefresh);
  EXPECT_EQ(marked.iBitmap, 1);
}

TEST_F(Bar, SettingsWriteDomainOnlyWithoutARebuildAndTheNextRefreshKeepsThePagesHost) {
  const std::string before = host->ViewBody();
  ASSERT_EQ(before, ExpectedBody(L"links.view"));
  const DialogDriver driver([](HWND dialog) {
    // Modal to the bar: the browser's window under it takes no input, so the bar cannot close.
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), host->Frame());
    EXPECT_FALSE(IsWindowEnabled(host->Frame()));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 201), BST_UNCHECKED);
    SendMessageW(GetDlgItem(dialog, 201), BM_CLICK, 0, 0);
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  });
  host->Press(kSettings);
  CBrowserHost::PumpUntil([&] { return driver.Ran(); }, 3000);
  ASSERT_TRUE(driver.Ran()) << "no settings dialog";
  EXPECT_EQ(iehost::ReadSetting(L"DomainOnly"), 1u);
  CBrowserHost::Pump(kTickMs + 200);
  EXPECT_EQ(host->ViewBody(), before) << "the settings command rebuilt the list";

  host->Press(kRefresh);
  EXPECT_EQ(host->ViewBody(), ExpectedBody(L"links.domain.view"));
  iehost::WriteSetting(L"DomainOnly", 0);
  host->Press(kRefresh);
  EXPECT_EQ(host->ViewBody(), before);
}

TEST_F(Bar, TheChevronOffersTheButtonsThatDoNotFitAndRunsTheChosenOne) {
  const HWND rebar = host->Control(152);
  ASSERT_TRUE(NarrowTo(2));
  const DialogDriver driver([](HWND dialog) {
    wchar_t caption[16] = {};
    GetWindowTextW(dialog, caption, 16);
    EXPECT_STREQ(caption, L"設定");
    SendMessageW(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
  });
  EXPECT_EQ(PushChevron(rebar, L'o'),
            (std::vector<MenuItem>{{L"設定(&O)", true}, {L"バージョン情報(&A)...", true}}));
  CBrowserHost::PumpUntil([&] { return driver.Ran(); }, 3000);
  EXPECT_TRUE(driver.Ran()) << "the chosen item did not open the settings";

  // During a wait the refresh button is disabled, and so is its item.
  ASSERT_TRUE(NarrowTo(1));
  ASSERT_EQ(host->Main()->HoldLoads(TRUE), S_OK);
  host->Navigate(kLinksPage, false);
  EXPECT_EQ(PushChevron(rebar, 0),
            (std::vector<MenuItem>{
                {L"更新(&R)", false}, {L"設定(&O)", true}, {L"バージョン情報(&A)...", true}}));
  ASSERT_EQ(host->Main()->HoldLoads(FALSE), S_OK);
  Widen();
  EXPECT_TRUE(WaitEnds());
  host->Press(kRefresh);
}

TEST_F(Bar, AClickOnAnEntryOpensItInTheMainBrowserAndTheListStays) {
  SetAutoSync(false);
  const std::string list = host->ViewBody();
  ASSERT_EQ(list, ExpectedBody(L"links.view"));
  const ComPtr<IWebBrowser2> view = host->ViewBrowser();
  const auto viewControl = view.try_query<IWebBrowserDoubleControl>();
  ASSERT_TRUE(viewControl);
  const std::wstring href = host->ViewLink(1);
  ASSERT_EQ(href, L"https://pages.example/secure.html");
  const size_t mainBefore = CBrowserHost::Navigations(host->Main()).size();

  // What the control does when an entry is clicked: its own navigation to the link.
  const auto navigate = [&](const std::wstring& url) {
    const tavrin::UniqueBstr address(SysAllocString(url.c_str()));
    VARIANT empty;
    VariantInit(&empty);
    return view->Navigate(address.get(), &empty, &empty, &empty, &empty);
  };
  ASSERT_EQ(navigate(href), S_OK);
  std::vector<Navigation> viewNavigations = CBrowserHost::Navigations(viewControl.get());
  ASSERT_FALSE(viewNavigations.empty());
  EXPECT_EQ(viewNavigations.back().url, href);
  EXPECT_TRUE(viewNavigations.back().cancelled) << "the view left the list";
  std::vector<Navigation> mainNavigations = CBrowserHost::Navigations(host->Main());
  ASSERT_EQ(mainNavigations.size(), mainBefore + 1);
  EXPECT_EQ(mainNavigations.back().url, href);
  EXPECT_FALSE(mainNavigations.back().cancelled);
  ASSERT_TRUE(WaitEnds());
  EXPECT_EQ(host->ViewBody(), list);

  // Addresses that are not http or https load in the view itself; the last brings the blank page.
  std::wstring blankPage(MAX_PATH, L'\0');
  blankPage.resize(GetModuleFileNameW(host->BandModule(), blankPage.data(), MAX_PATH));
  blankPage = L"res://" + blankPage + L"/204";
  for (const std::wstring& url : {std::wstring(L"javascript:void(0)"),
                                  std::wstring(L"HTTP://pages.example/upper.html"), blankPage}) {
    ASSERT_EQ(navigate(url), S_OK);
    viewNavigations = CBrowserHost::Navigations(viewControl.get());
    EXPECT_EQ(viewNavigations.back().url, url);
    EXPECT_FALSE(viewNavigations.back().cancelled) << tavrin::WideToUtf8(url);
    EXPECT_EQ(CBrowserHost::Navigations(host->Main()).size(), mainBefore + 1)
        << tavrin::WideToUtf8(url) << " reached the main browser";
  }
  CBrowserHost::Pump(300);
  EXPECT_EQ(host->ViewLocation(), blankPage);
  EXPECT_EQ(host->ViewBody().find("<table"), std::string::npos);
}

TEST_F(Bar, TheStatusTextOfAHoverReachesTheMainBrowserWhole) {
  const ComPtr<IWebBrowserDoubleControl> view = host->View();
  ASSERT_TRUE(view);
  for (const wchar_t* text : {L"http://pages.example/dir/first.html",
                              L"http://pages.example/日本語.html?q=한국어", L""}) {
    const tavrin::UniqueBstr sent(SysAllocString(text));
    ASSERT_EQ(view->FireStatusTextChange(sent.get()), S_OK);
    tavrin::UniqueBstr shown;
    ASSERT_EQ(host->MainBrowser()->get_StatusText(shown.put()), S_OK);
    EXPECT_EQ(std::wstring(shown.get() ? shown.get() : L""), text);
  }
}

// Page script that the document's next property change runs, once.
class CPageScript : public NotImplDispatch<IDispatch>, public tavrin::ComObjectRoot {
 public:
  static std::span<const tavrin::InterfaceEntry> Interfaces() noexcept {
    static const tavrin::InterfaceEntry table[] = {tavrin::InterfaceOf<CPageScript, IDispatch>()};
    return table;
  }
  explicit CPageScript(std::function<void()> run) : m_run(std::move(run)) {}
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
    if (const std::function<void()> run = std::exchange(m_run, {})) run();
    return S_OK;
  }

 private:
  std::function<void()> m_run;
};

// Writing href back fires the page's onpropertychange, so script runs inside the list build: it
// lets messages through, presses refresh, navigates the main browser, closes the bar and lets the
// browser's last reference to it go. The refresh builds nothing, and the bar ends only when its
// build is over, whether a press of refresh or an auto-sync tick started it.
TEST_F(Bar, PageScriptThatClosesAndReleasesTheBarDuringItsBuildEndsItAfterwards) {
  for (const bool tick : {false, true}) {
    if (!host->Band()) {
      ASSERT_EQ(host->OpenBar(), S_OK);
      ASSERT_TRUE(CBrowserHost::PumpUntil([] { return host->ButtonEnabled(kAutoSync); },
                                          kListTimeoutMs));
    }
    // Auto-sync builds at the tick that ends the page's wait; without it the refresh builds.
    if (host->ButtonChecked(kAutoSync) != tick) host->Press(kAutoSync);
    host->Navigate(kLinksPage, true);
    if (!tick) {
      ASSERT_TRUE(CBrowserHost::PumpUntil([] { return host->ButtonEnabled(kRefresh); },
                                          kListTimeoutMs));
    }
    ComPtr<IDispatch> page;
    ASSERT_EQ(host->MainBrowser()->get_Document(page.put()), S_OK);
    const auto document = page.try_query<IDoubleDocument>();
    ASSERT_TRUE(document);
    bool ran = false;
    UINT sinksInScript = 0;
    UINT statusAfterRefresh = 0;
    const auto script = tavrin::MakeComObject<CPageScript>([&] {
      CBrowserHost::Pump(50);
      // A build of its own would clear the status text that this one set.
      SendMessageW(host->Control(201), WM_COMMAND, kRefresh, 0);
      tavrin::UniqueBstr status;
      host->MainBrowser()->get_StatusText(status.put());
      statusAfterRefresh = SysStringLen(status.get());
      host->Navigate(kSamplePage, false);
      host->Band()->CloseDW(0);
      host->ReleaseBand();
      host->Main()->GetSinkCount(&sinksInScript);
      ran = true;
    });
    ASSERT_EQ(document->SetPropertyChangeHandler(script.get()), S_OK);
    if (tick) {
      CBrowserHost::PumpUntil([&] { return ran; }, kListTimeoutMs);
    } else {
      SendMessageW(host->Control(201), WM_COMMAND, kRefresh, 0);
    }
    document->SetPropertyChangeHandler(nullptr);
    ASSERT_TRUE(ran) << (tick ? "the tick" : "the refresh") << " built no list";
    EXPECT_GT(statusAfterRefresh, 0u) << "a refresh built a list inside the build";
    EXPECT_EQ(sinksInScript, 1u) << "the bar ended inside its build";
    UINT sinks = 1;
    host->Main()->GetSinkCount(&sinks);
    EXPECT_EQ(sinks, 0u) << "the bar outlived its build";
    host->Navigate(kSamplePage, true);
  }
  ASSERT_EQ(host->OpenBar(), S_OK);
}

// The bar closes, the browser goes on loading a page and then quits; the browser lets the bar go.
TEST_F(Bar, ClosingGivesEveryReferenceBackAndTheDllCanUnload) {
  const HWND window = host->BandObjectWindow();
  ASSERT_TRUE(window);
  ASSERT_EQ(host->Band()->CloseDW(0), S_OK);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(host->LiveDoubles(), 1u) << "the view's control outlived the bar's window";
  UINT sinks = 0;
  ASSERT_EQ(host->Main()->GetSinkCount(&sinks), S_OK);
  EXPECT_EQ(sinks, 1u) << "the sink stays until the browser quits";
  // Its events reach a bar without windows: no wait may start and nothing may break.
  host->Navigate(kSamplePage, true);
  CBrowserHost::Pump(kTickMs + 500);
  ASSERT_EQ(host->MainBrowser()->Quit(), S_OK);
  host->Main()->GetSinkCount(&sinks);
  EXPECT_EQ(sinks, 0u) << "OnQuit did not disconnect the sink";
  EXPECT_EQ(ComPtr<IDeskBand>(host->Band()).try_query<IObjectWithSite>()->SetSite(nullptr), S_OK);
  host->CloseBar();
  EXPECT_EQ(host->LiveDoubles(), 0u);
  using CanUnloadFunction = HRESULT(STDAPICALLTYPE*)();
  for (const auto& [module, name] : {std::pair(host->BandModule(), "Tavrin.dll"),
                                     std::pair(host->DoubleModule(), "the double")}) {
    const auto canUnload = reinterpret_cast<CanUnloadFunction>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    ASSERT_TRUE(canUnload);
    EXPECT_EQ(canUnload(), S_OK) << name << " still holds an object or a lock";
  }
}

}  // namespace
