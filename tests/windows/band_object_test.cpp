#include "band_dll.h"

#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "not_implemented_browser.h"
#include "not_implemented_dispatch.h"
#include "tavrin_idl.h"

#include <exdispid.h>
#include <oleauto.h>
#include <shlobj.h>

#include <cstring>
#include <optional>
#include <utility>

using tavrin::ComPtr;

namespace {

// An outer object for aggregation: answers IUnknown itself and counts its references.
class Outer final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
  STDMETHODIMP_(ULONG) Release() override { return --count; }
  ULONG count = 0;
  ComPtr<IUnknown> inner;
};

// A browser site: a window and focus notifications, optionally without the window.
template <bool kHasWindow>
class FakeSite : public IOleWindow, public IInputObjectSite, public tavrin::ComObjectRoot {
 public:
  static std::span<const tavrin::InterfaceEntry> Interfaces() noexcept {
    static const tavrin::InterfaceEntry withWindow[] = {
        tavrin::InterfaceOf<FakeSite, IInputObjectSite>(),
        tavrin::InterfaceOf<FakeSite, IOleWindow>()};
    return std::span(withWindow).first(kHasWindow ? 2 : 1);
  }
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = GetDesktopWindow();
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP OnFocusChangeIS(IUnknown*, BOOL) override { return S_OK; }
};

// The main browser that a browser's bar site serves; only its lifetime matters here.
class Browser : public NotImplDispatch<NotImplWebBrowser2>, public tavrin::ComObjectRoot {
 public:
  static std::span<const tavrin::InterfaceEntry> Interfaces() noexcept {
    static const tavrin::InterfaceEntry table[] = {tavrin::InterfaceOf<Browser, IWebBrowser2>()};
    return table;
  }
};

// A site as the browser gives one: a window, and the main browser as a service (a stand-in that
// only lives, unless one is given).
class BrowserSite : public FakeSite<true>, public IOleCommandTarget, public IServiceProvider {
 public:
  static std::span<const tavrin::InterfaceEntry> Interfaces() noexcept {
    using T = BrowserSite;
    static const tavrin::InterfaceEntry table[] = {
        tavrin::InterfaceOf<T, IInputObjectSite>(), tavrin::InterfaceOf<T, IOleWindow>(),
        tavrin::InterfaceOf<T, IOleCommandTarget>(), tavrin::InterfaceOf<T, IServiceProvider>()};
    return table;
  }
  explicit BrowserSite(HWND window = GetDesktopWindow(), ComPtr<IUnknown> browser = {})
      : m_window(window), m_pBrowser(std::move(browser)) {
    if (!m_pBrowser) {
      EXPECT_EQ(tavrin::CreateComObject<Browser>(nullptr, IID_IUnknown, m_pBrowser.put_void()),
                S_OK);
    }
  }
  STDMETHODIMP GetWindow(HWND* window) override {
    *window = m_window;
    return S_OK;
  }
  STDMETHODIMP QueryStatus(const GUID*, ULONG, OLECMD*, OLECMDTEXT*) override { return E_NOTIMPL; }
  STDMETHODIMP Exec(const GUID*, DWORD, DWORD, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualGUID(service, SID_SWebBrowserApp)) return E_NOINTERFACE;
    return m_pBrowser->QueryInterface(riid, ppv);
  }

 private:
  HWND m_window;
  ComPtr<IUnknown> m_pBrowser;
};

class BandObject : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(dll.GetClassObject(CLSID_TavrinBandsObject, IID_IClassFactory, factory.put_void()),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDeskBand, band.put_void()), S_OK);
  }

  template <class I>
  ComPtr<IUnknown> Part() const {
    ComPtr<I> part;
    EXPECT_EQ(band->QueryInterface(__uuidof(I), part.put_void()), S_OK) << "missing interface";
    return ComPtr<IUnknown>(reinterpret_cast<IUnknown*>(part.get()));
  }

  BandDll dll;
  ComPtr<IClassFactory> factory;
  ComPtr<IDeskBand> band;
};

TEST_F(BandObject, ClassObjectServesOnlyTheBandAndAggregatesOnlyThroughIUnknown) {
  ComPtr<IClassFactory> other;
  EXPECT_EQ(dll.GetClassObject(IID_IUnknown, IID_IClassFactory, other.put_void()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(other);

  Outer outer;
  ComPtr<IDeskBand> refused;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IDeskBand, refused.put_void()),
            CLASS_E_NOAGGREGATION);
  EXPECT_FALSE(refused);

  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, outer.inner.put_void()), S_OK);
  EXPECT_EQ(outer.count, 0u);  // the inner unknown does not hold its outer object
  {
    ComPtr<IPersist> persist;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IPersist, persist.put_void()), S_OK);
    EXPECT_EQ(outer.count, 1u);  // interfaces count on the outer object
    ComPtr<IUnknown> identity;
    ASSERT_EQ(persist->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer));
  }
  EXPECT_EQ(outer.count, 0u);
  outer.inner.reset();
}

TEST_F(BandObject, InterfacesShareTheirPartsAndIdentity) {
  const ComPtr<IUnknown> identity = Part<IUnknown>();
  EXPECT_EQ(identity.get(), Part<ITavrinBandsObject>().get());
  EXPECT_EQ(Part<IDispatch>().get(), Part<ITavrinBandsObject>().get());
  EXPECT_EQ(Part<IOleWindow>().get(), Part<IDeskBand>().get());
  EXPECT_EQ(Part<IDockingWindow>().get(), Part<IDeskBand>().get());
  EXPECT_EQ(Part<IPersist>().get(), Part<IPersistStream>().get());
  for (const auto& part :
       {Part<IContextMenu>(), Part<IInputObject>(), Part<IObjectWithSite>(), Part<IDeskBand>()}) {
    ComPtr<IUnknown> back;
    ASSERT_EQ(part->QueryInterface(IID_IUnknown, back.put_void()), S_OK);
    EXPECT_EQ(back.get(), identity.get());
  }
  ComPtr<IOleObject> absent;
  EXPECT_EQ(band->QueryInterface(IID_IOleObject, absent.put_void()), E_NOINTERFACE);
  EXPECT_FALSE(absent);
}

TEST_F(BandObject, PersistsNothingButItsClassAndAddsNoMenu) {
  const auto persist = band.try_query<IPersist>();
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_TavrinBandsObject));
  // Never dirty, and nothing to read or write: a browser that saves its bars gets no error.
  const auto stream = band.try_query<IPersistStream>();
  EXPECT_EQ(stream->IsDirty(), S_FALSE);
  ComPtr<IStream> memory;
  ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, memory.put()), S_OK);
  EXPECT_EQ(stream->Save(memory.get(), TRUE), S_OK);
  EXPECT_EQ(stream->Load(memory.get()), S_OK);
  STATSTG stat{};
  ASSERT_EQ(memory->Stat(&stat, STATFLAG_NONAME), S_OK);
  EXPECT_EQ(stat.cbSize.QuadPart, 0u);
  ULARGE_INTEGER size;
  size.QuadPart = 99;
  EXPECT_EQ(stream->GetSizeMax(&size), S_OK);
  EXPECT_EQ(size.QuadPart, 0u);
  EXPECT_EQ(stream->GetSizeMax(nullptr), E_POINTER);

  const auto menu = band.try_query<IContextMenu>();
  EXPECT_EQ(menu->QueryContextMenu(nullptr, 0, 0, 0, 0), E_NOTIMPL);
  EXPECT_EQ(menu->InvokeCommand(nullptr), E_NOTIMPL);
  EXPECT_EQ(menu->GetCommandString(0, 0, nullptr, nullptr, 0), E_NOTIMPL);

  EXPECT_EQ(band->ContextSensitiveHelp(TRUE), E_NOTIMPL);
  EXPECT_EQ(band->ResizeBorderDW(nullptr, nullptr, FALSE), E_NOTIMPL);
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(band->GetWindow(&window), S_OK);
  EXPECT_EQ(window, nullptr);  // no window before a site gives one
}

TEST_F(BandObject, BandInfoFollowsViewModeAndMask) {
  const auto ask = [&](DWORD viewMode, DWORD mask) {
    DESKBANDINFO info;
    std::memset(&info, 0x5A, sizeof(info));
    info.dwMask = mask;
    EXPECT_EQ(band->GetBandInfo(7, viewMode, &info), S_OK);
    return info;
  };
  const DWORD all = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_TITLE |
                    DBIM_MODEFLAGS | DBIM_BKCOLOR;

  const DESKBANDINFO vertical = ask(DBIF_VIEWMODE_VERTICAL, all);
  EXPECT_EQ(vertical.dwMask, all & ~DBIM_BKCOLOR);
  EXPECT_EQ(vertical.ptMinSize.x, 100);
  EXPECT_EQ(vertical.ptMinSize.y, 102);
  EXPECT_EQ(vertical.ptMaxSize.x, -1);
  EXPECT_EQ(vertical.ptMaxSize.y, -1);
  EXPECT_EQ(vertical.ptIntegral.x, 1);
  EXPECT_EQ(vertical.ptIntegral.y, 1);
  EXPECT_EQ(vertical.ptActual.x, 0);
  EXPECT_EQ(vertical.ptActual.y, 0);
  EXPECT_EQ(vertical.dwModeFlags, static_cast<DWORD>(DBIMF_VARIABLEHEIGHT));
  EXPECT_STREQ(vertical.wszTitle, L"タブリン");
  for (size_t i = wcslen(L"タブリン") + 1; i < std::size(vertical.wszTitle); ++i)
    ASSERT_EQ(vertical.wszTitle[i], 0x5A5A) << "written past the title at " << i;

  for (const DWORD mode : {0u, 4u}) {
    const DESKBANDINFO other = ask(mode, DBIM_MINSIZE);
    EXPECT_EQ(other.ptMinSize.x, 100);
    EXPECT_EQ(other.ptMinSize.y, 100);
  }
  const DESKBANDINFO floating = ask(DBIF_VIEWMODE_FLOATING, DBIM_MINSIZE);
  EXPECT_EQ(floating.ptMinSize.x, 0x5A5A5A5A);

  const DESKBANDINFO background = ask(DBIF_VIEWMODE_VERTICAL, DBIM_BKCOLOR);
  DESKBANDINFO untouched;
  std::memset(&untouched, 0x5A, sizeof(untouched));
  untouched.dwMask = 0;
  EXPECT_EQ(std::memcmp(&background, &untouched, sizeof(untouched)), 0);
}

TEST_F(BandObject, SiteNeedsAWindowAndGetSiteAnswersThroughIt) {
  const auto site = band.try_query<IObjectWithSite>();
  ComPtr<IInputObjectSite> got;
  EXPECT_EQ(site->GetSite(IID_IInputObjectSite, got.put_void()), E_FAIL);

  ComPtr<IUnknown> windowless;
  ASSERT_EQ(tavrin::CreateComObject<FakeSite<false>>(nullptr, IID_IUnknown, windowless.put_void()),
            S_OK);
  ComPtr<IUnknown> windowed;
  ASSERT_EQ(tavrin::CreateComObject<FakeSite<true>>(nullptr, IID_IUnknown, windowed.put_void()),
            S_OK);

  ASSERT_EQ(site->SetSite(windowed.get()), S_OK);
  ASSERT_EQ(site->GetSite(IID_IInputObjectSite, got.put_void()), S_OK);
  EXPECT_EQ(got.try_query<IUnknown>().get(), windowed.get());

  // A site without a window is refused, and the previous one is no longer held.
  EXPECT_EQ(site->SetSite(windowless.get()), E_FAIL);
  EXPECT_EQ(site->GetSite(IID_IInputObjectSite, got.put_void()), E_FAIL);
  EXPECT_FALSE(got);

  ASSERT_EQ(site->SetSite(windowed.get()), S_OK);
  EXPECT_EQ(site->SetSite(nullptr), S_OK);
  EXPECT_EQ(site->GetSite(IID_IInputObjectSite, got.put_void()), E_FAIL);
  EXPECT_EQ(band.try_query<IInputObject>()->HasFocusIO(), S_FALSE);
}

// Leaving a site, for none or for one that is refused, lets go of it and of its browser.
TEST_F(BandObject, LeavingASiteReleasesItAndItsBrowser) {
  const auto withSite = band.try_query<IObjectWithSite>();
  ComPtr<IUnknown> windowless;
  ASSERT_EQ(tavrin::CreateComObject<FakeSite<false>>(nullptr, IID_IUnknown, windowless.put_void()),
            S_OK);
  const LONG alive = tavrin::ModuleLockCount();
  for (IUnknown* next : {static_cast<IUnknown*>(nullptr), windowless.get()}) {
    {
      ComPtr<IUnknown> site;
      ASSERT_EQ(tavrin::CreateComObject<BrowserSite>(nullptr, IID_IUnknown, site.put_void()), S_OK);
      ASSERT_EQ(withSite->SetSite(site.get()), S_OK);
    }
    EXPECT_EQ(tavrin::ModuleLockCount(), alive + 2) << "the band holds the site and its browser";
    withSite->SetSite(next);
    EXPECT_EQ(tavrin::ModuleLockCount(), alive) << "the site or its browser is still held";
  }
}

// A main browser whose connection point takes one sink, so a test can play its events.
class EventBrowser : public NotImplDispatch<NotImplWebBrowser2>,
                     public IConnectionPointContainer,
                     public IConnectionPoint,
                     public tavrin::ComObjectRoot {
 public:
  static std::span<const tavrin::InterfaceEntry> Interfaces() noexcept {
    using T = EventBrowser;
    static const tavrin::InterfaceEntry table[] = {
        tavrin::InterfaceOf<T, IWebBrowser2>(),
        tavrin::InterfaceOf<T, IConnectionPointContainer>()};
    return table;
  }
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override {
    *point = nullptr;
    if (!IsEqualIID(riid, DIID_DWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
    *point = this;
    (*point)->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
    if (m_pSink) return CONNECT_E_ADVISELIMIT;
    m_pSink = tavrin::ComPtr<IUnknown>(sink).try_query<IDispatch>();
    *cookie = 7;
    return m_pSink ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP Unadvise(DWORD cookie) override {
    if (cookie != 7 || !m_pSink) return CONNECT_E_NOCONNECTION;
    m_pSink.reset();
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  ComPtr<IDispatch> m_pSink;
};

class BandObjectInABrowser : public BandObject {
 protected:
  void SetUp() override {
    BandObject::SetUp();
    m_frame.reset(CreateWindowExW(0, L"STATIC", L"frame", WS_POPUP, 0, 0, 240, 320, nullptr,
                                  nullptr, nullptr, nullptr));
    ASSERT_TRUE(m_frame);
    m_pBrowser = tavrin::MakeComObject<EventBrowser>();
    const auto site = tavrin::MakeComObject<BrowserSite>(
        m_frame.get(), ComPtr<IUnknown>(static_cast<IWebBrowser2*>(m_pBrowser.get())));
    ASSERT_EQ(band.try_query<IObjectWithSite>()->SetSite(static_cast<IOleWindow*>(site.get())),
              S_OK);
    ASSERT_EQ(band->GetWindow(&m_window), S_OK);
    ASSERT_TRUE(m_window);
  }

  void Fire(DISPID id) const {
    DISPPARAMS none{};
    ASSERT_TRUE(m_pBrowser->m_pSink);
    m_pBrowser->m_pSink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
  }

  // BeforeNavigate2 as a browser fires it: seven arguments, the last first.
  void FireBeforeNavigate2() const {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT empty;
    VariantInit(&empty);
    VARIANT args[7];
    for (VARIANT& arg : args) {
      VariantInit(&arg);
      V_VT(&arg) = VT_BYREF | VT_VARIANT;
      V_VARIANTREF(&arg) = &empty;
    }
    V_VT(&args[0]) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&args[0]) = &cancel;
    V_VT(&args[6]) = VT_DISPATCH;
    V_DISPATCH(&args[6]) = m_pBrowser.get();
    DISPPARAMS params{args, nullptr, 7, 0};
    ASSERT_TRUE(m_pBrowser->m_pSink);
    EXPECT_EQ(m_pBrowser->m_pSink->Invoke(DISPID_BEFORENAVIGATE2, IID_NULL, 0, DISPATCH_METHOD,
                                          &params, nullptr, nullptr, nullptr),
              S_OK);
  }

  // The band window's toolbar, which a page wait disables in part.
  HWND Toolbar() const { return GetDlgItem(GetDlgItem(GetDlgItem(m_window, 201), 152), 151); }

  tavrin::UniqueAny<HWND, &::DestroyWindow> m_frame;
  ComPtr<tavrin::ComObject<EventBrowser>> m_pBrowser;
  HWND m_window = nullptr;
};

// A navigation after the bar was closed starts nothing, so the next window of the band still
// starts its own wait.
TEST_F(BandObjectInABrowser, NavigationAfterCloseLeavesTheNextWindowItsWait) {
  ASSERT_TRUE(Toolbar());
  EXPECT_FALSE(SendMessageW(Toolbar(), TB_ISBUTTONENABLED, 101, 0)) << "the first wait runs";
  ASSERT_EQ(band->CloseDW(0), S_OK);
  FireBeforeNavigate2();

  const auto site = tavrin::MakeComObject<BrowserSite>(
      m_frame.get(), ComPtr<IUnknown>(static_cast<IWebBrowser2*>(m_pBrowser.get())));
  ASSERT_EQ(band.try_query<IObjectWithSite>()->SetSite(static_cast<IOleWindow*>(site.get())), S_OK);
  ASSERT_EQ(band->GetWindow(&m_window), S_OK);
  ASSERT_TRUE(Toolbar());
  EXPECT_FALSE(SendMessageW(Toolbar(), TB_ISBUTTONENABLED, 101, 0)) << "the new window waits";
}

// Leaving the site, for none or for a site the band refuses, takes the sink back from the old
// browser, which would otherwise go on calling a bar that left it.
TEST_F(BandObjectInABrowser, LeavingTheSiteDisconnectsFromTheOldBrowsersEvents) {
  ComPtr<IUnknown> windowless;
  ASSERT_EQ(tavrin::CreateComObject<FakeSite<false>>(nullptr, IID_IUnknown, windowless.put_void()),
            S_OK);
  for (IUnknown* next : {static_cast<IUnknown*>(nullptr), windowless.get()}) {
    const auto site = tavrin::MakeComObject<BrowserSite>(
        m_frame.get(), ComPtr<IUnknown>(static_cast<IWebBrowser2*>(m_pBrowser.get())));
    ASSERT_EQ(band.try_query<IObjectWithSite>()->SetSite(static_cast<IOleWindow*>(site.get())),
              S_OK);
    ASSERT_TRUE(m_pBrowser->m_pSink);
    band.try_query<IObjectWithSite>()->SetSite(next);
    EXPECT_FALSE(m_pBrowser->m_pSink) << "the sink is still advised";
  }
}

TEST_F(BandObjectInABrowser, SiteGivesTheHiddenBandObjectWindowWithTheBandWindowInside) {
  wchar_t text[64] = {};
  GetClassNameW(m_window, text, 64);
  EXPECT_STREQ(text, L"TavrinBandsObject");
  GetWindowTextW(m_window, text, 64);
  EXPECT_STREQ(text, L"Tool Bands");
  EXPECT_EQ(GetDlgCtrlID(m_window), 360);
  EXPECT_EQ(GetClassLongPtrW(m_window, GCL_STYLE), CS_DBLCLKS);
  EXPECT_EQ(GetClassLongPtrW(m_window, GCLP_HBRBACKGROUND), COLOR_WINDOW + 1);
  EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(m_window, GCLP_HCURSOR)),
            LoadCursorW(nullptr, IDC_ARROW));
  EXPECT_EQ(GetParent(m_window), m_frame.get());
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(m_window, GWL_STYLE)) & ~WS_VISIBLE,
            static_cast<DWORD>(WS_CHILD | WS_CLIPCHILDREN | WS_TABSTOP));
  EXPECT_FALSE(IsWindowVisible(m_window));
  EXPECT_TRUE(GetDlgItem(m_window, 201));
  EXPECT_TRUE(m_pBrowser->m_pSink) << "the band listens to the main browser";

  ShowWindow(m_frame.get(), SW_SHOWNOACTIVATE);
  EXPECT_EQ(band->ShowDW(TRUE), S_OK);
  EXPECT_TRUE(IsWindowVisible(m_window));
  EXPECT_EQ(band->ShowDW(FALSE), S_OK);
  EXPECT_FALSE(IsWindowVisible(m_window));
}

// Closing, the browser's quit and the final release each give back what they should, whatever
// the order; then the DLL can go.
TEST_F(BandObjectInABrowser, ClosingQuittingAndReleasingLeaveNothingBehind) {
  Fire(DISPID_ONQUIT);
  EXPECT_FALSE(m_pBrowser->m_pSink) << "the quit ends the connection";
  EXPECT_EQ(band->CloseDW(0), S_OK);
  EXPECT_FALSE(IsWindow(m_window));
  HWND window = reinterpret_cast<HWND>(1);
  EXPECT_EQ(band->GetWindow(&window), S_OK);
  EXPECT_EQ(window, nullptr);
  EXPECT_EQ(band->ShowDW(TRUE), S_OK) << "a closed band shows nothing";

  band.reset();
  factory.reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

TEST_F(BandObjectInABrowser, FinalReleaseDisconnectsAndDestroysWhatIsStillThere) {
  band.reset();
  EXPECT_FALSE(m_pBrowser->m_pSink);
  EXPECT_FALSE(IsWindow(m_window));
  factory.reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

TEST_F(BandObject, DispatchComesFromTheTypeLibrary) {
  const auto dispatch = band.try_query<IDispatch>();
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);

  ComPtr<ITypeInfo> info;
  ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.put()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualIID(attributes->guid, IID_ITavrinBandsObject));
  info->ReleaseTypeAttr(attributes);
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0, info.put()), DISP_E_BADINDEX);

  wchar_t name[] = L"Navigate";
  LPOLESTR names[] = {name};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  DISPPARAMS none{};
  tavrin::UniqueVariant result;
  EXPECT_EQ(
      dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr),
      DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(result.get().vt, VT_EMPTY);
}

TEST(TypeLibrary, BothBuildsCarryTheirPlatformsLibraryWithAHelpStringReadableInCodePage932) {
  ASSERT_EQ(GetACP(), 932u) << "the bench runs Wine with LC_ALL=ja_JP.UTF-8";
  for (const auto& [arch, syskind] : {std::pair{L"x64", SYS_WIN64}, std::pair{L"x86", SYS_WIN32}}) {
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(DistDll(arch).c_str(), REGKIND_NONE, library.put()), S_OK);
    tavrin::UniqueBstr name;
    tavrin::UniqueBstr help;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_STREQ(name.get(), L"TAVRINLib");
    EXPECT_STREQ(help.get(), L"Tavrin 1.0 ﾀｲﾌﾟ ﾗｲﾌﾞﾗﾘ");
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->syskind, syskind);
    EXPECT_EQ(attributes->wMajorVerNum, 1);
    EXPECT_EQ(attributes->wMinorVerNum, 0);
    library->ReleaseTLibAttr(attributes);
  }
}

// The DLL keeps its type library for the life of the process: a Release at unload would run under
// the loader lock.
TEST(TypeLibrary, TheDllsReferenceIsNotGivenBackAtUnload) {
  ComPtr<ITypeLib> library;
  std::optional<BandDll> dll(std::in_place);
  {
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dll->GetClassObject(CLSID_TavrinBandsObject, IID_IClassFactory, factory.put_void()),
              S_OK);
    ComPtr<IDispatch> band;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, band.put_void()), S_OK);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(band->GetTypeInfo(0, 0, info.put()), S_OK);
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(library.put(), &index), S_OK);
  }
  const auto references = [&] {
    library->AddRef();
    return library->Release();
  };
  const ULONG before = references();
  dll.reset();
  ASSERT_EQ(GetModuleHandleW(L"Tavrin.dll"), nullptr) << "the DLL is still loaded";
  EXPECT_EQ(references(), before);
}

TEST(Module, CannotUnloadWhileAClassObjectOrABandLives) {
  const BandDll dll;
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(dll.GetClassObject(CLSID_TavrinBandsObject, IID_IClassFactory, factory.put_void()),
            S_OK);
  EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
  ComPtr<IUnknown> band;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, band.put_void()), S_OK);
  factory.reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
  band.reset();
  EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

}  // namespace
