#include "browser_host.h"

#include "framework/text.h"
#include "framework/unique_any.h"
#include "tavrin_idl.h"
#include "web_browser_double_pages.h"

#include <commctrl.h>
#include <mshtml.h>

#include <optional>

using tavrin::ComPtr;

namespace iehost {
namespace {

constexpr wchar_t kSettingsKey[] = L"Software\\Halvek\\Tavrin";
constexpr wchar_t kFrameClass[] = L"TavrinIeHostFrame";
constexpr DWORD kLoadTimeoutMs = 10000;

using RegisterFunction = HRESULT(STDAPICALLTYPE*)();

template <class Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::wstring Text(const tavrin::UniqueBstr& text) {
  return text ? std::wstring(text.get(), SysStringLen(text.get())) : std::wstring();
}

struct FindById {
  int id;
  HWND found = nullptr;
};

BOOL CALLBACK MatchId(HWND window, LPARAM search) {
  auto* find = reinterpret_cast<FindById*>(search);
  if (GetDlgCtrlID(window) != find->id) return TRUE;
  find->found = window;
  return FALSE;
}

ComPtr<IHTMLDocument2> DocumentOf(IWebBrowser2* browser) {
  ComPtr<IDispatch> document;
  if (!browser || FAILED(browser->get_Document(document.put()))) return {};
  return document.try_query<IHTMLDocument2>();
}

}  // namespace

std::span<const tavrin::InterfaceEntry> CBarSite::Interfaces() noexcept {
  using T = CBarSite;
  static const tavrin::InterfaceEntry table[] = {
      tavrin::InterfaceOf<T, IOleWindow>(), tavrin::InterfaceOf<T, IInputObjectSite>(),
      tavrin::InterfaceOf<T, IOleCommandTarget>(), tavrin::InterfaceOf<T, IServiceProvider>()};
  return table;
}

STDMETHODIMP CBarSite::GetWindow(HWND* window) noexcept {
  if (!window) return E_POINTER;
  *window = m_hwndPane;
  return S_OK;
}

STDMETHODIMP CBarSite::OnFocusChangeIS(IUnknown*, BOOL focus) noexcept {
  if (focus) ++m_nFocusGained;
  return S_OK;
}

STDMETHODIMP CBarSite::QueryService(REFGUID service, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!IsEqualGUID(service, SID_SWebBrowserApp) || !m_pBrowser) return E_NOINTERFACE;
  return m_pBrowser->QueryInterface(riid, ppv);
}

CBrowserHost::CBrowserHost(const std::wstring& doubleDll, const std::wstring& bandDll,
                           const std::wstring& firstPage)
    : m_registration(doubleDll), m_bandModule(LoadLibraryW(bandDll.c_str())) {
  m_strFailure = Start(firstPage);
}

std::string CBrowserHost::Start(const std::wstring& firstPage) {
  if (!m_registration.Registered()) return "the double could not be registered";
  if (!m_bandModule) return "Tavrin.dll does not load";
  const auto registerServer = Export<RegisterFunction>(m_bandModule.get(), "DllRegisterServer");
  if (!registerServer || FAILED(registerServer())) return "DllRegisterServer failed";

  WNDCLASSW frameClass{};
  frameClass.lpfnWndProc = DefWindowProcW;
  frameClass.hInstance = GetModuleHandleW(nullptr);
  frameClass.hbrBackground = GetSysColorBrush(COLOR_APPWORKSPACE);
  frameClass.lpszClassName = kFrameClass;
  RegisterClassW(&frameClass);
  m_frame.reset(CreateWindowExW(0, kFrameClass, L"iehost", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                                0, kPaneWidth + 40, kPaneHeight + 60, nullptr, nullptr, nullptr,
                                nullptr));
  m_pane.reset(CreateWindowExW(0, kFrameClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                               kPaneWidth, kPaneHeight, m_frame.get(), nullptr, nullptr, nullptr));
  if (!m_pane) return "no frame window";
  ShowWindow(m_frame.get(), SW_SHOW);

  if (FAILED(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(m_pMain.put())))) {
    return "no main browser";
  }
  m_pMainControl = m_pMain.try_query<IWebBrowserDoubleControl>();
  m_hDoubleModule = GetModuleHandleW(test_double_test::ScopedDoubleRegistration::kDll);
  if (!m_pMainControl || !m_hDoubleModule) return "the main browser is not the double";
  Navigate(firstPage, true);
  if (!DocumentOf(m_pMain.get())) return "the main browser has no first page";
  return {};
}

CBrowserHost::~CBrowserHost() {
  CloseBar();
  if (m_bandModule) {
    if (const auto unregister = Export<RegisterFunction>(m_bandModule.get(), "DllUnregisterServer"))
      unregister();
  }
}

HRESULT CBrowserHost::OpenBar() {
  HRESULT hr = CoCreateInstance(CLSID_TavrinBandsObject, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(m_pBand.put()));
  if (FAILED(hr)) return hr;
  m_pSite = tavrin::MakeComObject<CBarSite>(m_pane.get(), m_pMain.get());
  if (!m_pSite) return E_OUTOFMEMORY;
  const auto withSite = m_pBand.try_query<IObjectWithSite>();
  if (!withSite) return E_NOINTERFACE;
  hr = withSite->SetSite(static_cast<IOleWindow*>(m_pSite.get()));
  if (FAILED(hr)) return hr;
  DESKBANDINFO info{};
  info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                DBIM_MODEFLAGS | DBIM_BKCOLOR;
  hr = m_pBand->GetBandInfo(0, DBIF_VIEWMODE_VERTICAL, &info);
  if (FAILED(hr)) return hr;
  hr = m_pBand->ShowDW(TRUE);
  if (FAILED(hr)) return hr;
  const HWND window = BandObjectWindow();
  if (!window) return E_FAIL;
  MoveWindow(window, 0, 0, kPaneWidth, kPaneHeight, TRUE);
  return S_OK;
}

void CBrowserHost::CloseBar() {
  if (m_pBand) {
    m_pBand->CloseDW(0);
    if (const auto withSite = m_pBand.try_query<IObjectWithSite>()) withSite->SetSite(nullptr);
  }
  if (m_pMain) m_pMain->Quit();
  m_pBand.reset();
  if (m_pSite) m_pSite->ReleaseBrowser();
  m_pSite.reset();
  m_pMainControl.reset();
  m_pMain.reset();
}

bool CBrowserHost::PumpUntil(const std::function<bool()>& ready, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (ready()) return true;
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

void CBrowserHost::Pump(DWORD milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

void CBrowserHost::Navigate(const std::wstring& url, bool waitForLoad) {
  const tavrin::UniqueBstr address(SysAllocString(url.c_str()));
  VARIANT empty;
  VariantInit(&empty);
  m_pMain->Navigate(address.get(), &empty, &empty, &empty, &empty);
  if (!waitForLoad) return;
  PumpUntil(
      [this] {
        VARIANT_BOOL busy = VARIANT_TRUE;
        return SUCCEEDED(m_pMain->get_Busy(&busy)) && !busy;
      },
      kLoadTimeoutMs);
}

UINT CBrowserHost::LiveDoubles() const {
  const auto live =
      Export<LiveWebBrowserDoublesFunction>(m_hDoubleModule, kLiveWebBrowserDoublesExport);
  UINT count = 0;
  if (!live || FAILED(live(nullptr, 0, &count))) return 0;
  return count;
}

ComPtr<IWebBrowser2> CBrowserHost::ViewBrowser() const {
  const auto live =
      Export<LiveWebBrowserDoublesFunction>(m_hDoubleModule, kLiveWebBrowserDoublesExport);
  if (!live) return {};
  IWebBrowser2* browsers[8] = {};
  UINT count = 0;
  if (FAILED(live(browsers, static_cast<UINT>(std::size(browsers)), &count))) return {};
  ComPtr<IWebBrowser2> view;
  for (IWebBrowser2* browser : browsers) {
    // Each came with a reference, which the pointer takes over.
    ComPtr<IWebBrowser2> owned;
    *owned.put() = browser;
    if (browser && browser != m_pMain.get() && !view) view = std::move(owned);
  }
  return view;
}

ComPtr<IWebBrowserDoubleControl> CBrowserHost::View() const {
  return ViewBrowser().try_query<IWebBrowserDoubleControl>();
}

HWND CBrowserHost::BandObjectWindow() const {
  HWND window = nullptr;
  if (!m_pBand || FAILED(m_pBand->GetWindow(&window))) return nullptr;
  return window;
}

HWND CBrowserHost::Control(int id) const {
  FindById find{id};
  if (const HWND root = BandObjectWindow())
    EnumChildWindows(root, &MatchId, reinterpret_cast<LPARAM>(&find));
  return find.found;
}

std::wstring CBrowserHost::ViewLocation() const {
  const ComPtr<IWebBrowser2> view = ViewBrowser();
  tavrin::UniqueBstr url;
  if (!view || FAILED(view->get_LocationURL(url.put()))) return {};
  return Text(url);
}

std::string CBrowserHost::ViewBody() const {
  const ComPtr<IHTMLDocument2> document = DocumentOf(ViewBrowser().get());
  ComPtr<IHTMLElement> body;
  tavrin::UniqueBstr markup;
  if (!document || FAILED(document->get_body(body.put())) || !body ||
      FAILED(body->get_innerHTML(markup.put()))) {
    return {};
  }
  return tavrin::WideToUtf8(Text(markup));
}

std::wstring CBrowserHost::ViewLink(long index) const {
  const ComPtr<IHTMLDocument2> document = DocumentOf(ViewBrowser().get());
  ComPtr<IHTMLElementCollection> links;
  if (!document || FAILED(document->get_links(links.put())) || !links) return {};
  VARIANT position{};
  position.vt = VT_I4;
  position.lVal = index;
  ComPtr<IDispatch> item;
  if (FAILED(links->item(position, VARIANT{}, item.put())) || !item) return {};
  const auto anchor = item.try_query<IHTMLAnchorElement>();
  tavrin::UniqueBstr href;
  if (!anchor || FAILED(anchor->get_href(href.put()))) return {};
  return Text(href);
}

bool CBrowserHost::ButtonEnabled(int command) const {
  return SendMessageW(Control(151), TB_ISBUTTONENABLED, command, 0) != 0;
}

bool CBrowserHost::ButtonChecked(int command) const {
  return SendMessageW(Control(151), TB_ISBUTTONCHECKED, command, 0) != 0;
}

TBBUTTON CBrowserHost::ButtonAt(int index) const {
  TBBUTTON button{};
  SendMessageW(Control(151), TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button));
  return button;
}

void CBrowserHost::Press(int command) const {
  const HWND toolbar = Control(151);
  RECT rect{};
  SendMessageW(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&rect));
  const LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  SendMessageW(toolbar, WM_MOUSEMOVE, 0, point);
  SendMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, point);
  SendMessageW(toolbar, WM_LBUTTONUP, 0, point);
}

std::vector<Navigation> CBrowserHost::Navigations(IWebBrowserDoubleControl* browser) {
  std::vector<Navigation> navigations;
  for (UINT i = 0; browser; ++i) {
    tavrin::UniqueBstr url;
    BOOL cancelled = FALSE;
    if (browser->GetNavigation(i, url.put(), &cancelled) != S_OK) break;
    navigations.push_back({Text(url), cancelled != FALSE});
  }
  return navigations;
}

std::optional<DWORD> ReadSetting(const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof(value);
  const LSTATUS read =
      RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return read == ERROR_SUCCESS ? std::optional(value) : std::nullopt;
}

void WriteSetting(const wchar_t* name, DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof(value));
}

void DeleteSettings() {
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
}

}  // namespace iehost
