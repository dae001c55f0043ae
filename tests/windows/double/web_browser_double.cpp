#include "web_browser_double.h"

#include "framework/gdi.h"
#include "framework/unique_any.h"
#include "mshtml_double.h"
#include "web_browser_double_pages.h"

#include <exdispid.h>
#include <olectl.h>

#include <algorithm>

namespace tavrin::test_double {
namespace {

// Posted to the message window: run the next step of the navigation.
constexpr UINT kStepMessage = WM_APP + 1;
constexpr wchar_t kWindowClass[] = L"TavrinWebBrowserDouble";
constexpr int kLineMargin = 4;

HRESULT CopyText(const std::wstring& text, BSTR* out) noexcept {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

template <class I>
HRESULT HandOut(I* object, I** out) noexcept {
  if (!out) return E_POINTER;
  *out = object;
  if (object) object->AddRef();
  return S_OK;
}

VARIANT ByReference(VARIANT* target) noexcept {
  VARIANT reference;
  VariantInit(&reference);
  V_VT(&reference) = VT_BYREF | VT_VARIANT;
  V_VARIANTREF(&reference) = target;
  return reference;
}

VARIANT Borrowed(IDispatch* object) noexcept {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_DISPATCH;
  V_DISPATCH(&value) = object;
  return value;
}

VARIANT Borrowed(BSTR text) noexcept {
  VARIANT value{};
  value.vt = VT_BSTR;
  value.bstrVal = text;
  return value;
}

// The doubles alive in this module, in the order of their creation; one apartment thread only.
std::vector<CWebBrowserDouble*>& LiveDoubles() {
  static std::vector<CWebBrowserDouble*> doubles;
  return doubles;
}

// value as a string; the pointer stays valid with value.
VARIANT* StringVariant(UniqueVariant& value, const std::wstring& text) {
  VARIANT* target = value.put();
  V_BSTR(target) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!V_BSTR(target)) throw std::bad_alloc();
  V_VT(target) = VT_BSTR;
  return target;
}

}  // namespace

// Both of the control's windows: the message-only one that runs the steps and the in-place view.
class CWebBrowserDouble::CDoubleWindow final : public CWindowBase {
 public:
  explicit CDoubleWindow(CWebBrowserDouble& owner) noexcept : m_owner(owner) {}
  ~CDoubleWindow() override {
    if (Handle()) DestroyWindow(Handle());
  }

  HRESULT Create(HWND parent, DWORD style, const RECT& rect) noexcept {
    const auto background = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    return CWindowBase::Create({.className = kWindowClass,
                                .background = background,
                                .parent = parent,
                                .style = style,
                                .rect = rect})
               ? S_OK
               : LastErrorResult();
  }

 protected:
  std::optional<LRESULT> HandleMessage(UINT message, WPARAM, LPARAM) override {
    if (message == kStepMessage) {
      m_owner.OnStep();
      return 0;
    }
    if (message == WM_PAINT) {
      m_owner.Paint(Handle());
      return 0;
    }
    return std::nullopt;
  }

 private:
  CWebBrowserDouble& m_owner;
};

void CBrowserBase::Show(ComPtr<IHTMLDocument2> document, std::wstring url) noexcept {
  if (m_pDocument && m_pDocument.get() != document.get()) TearDownDocument(m_pDocument.get());
  m_pDocument = std::move(document);
  m_strUrl = std::move(url);
}

STDMETHODIMP CBrowserBase::GetTypeInfoCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CBrowserBase::GetTypeInfo(UINT, LCID, ITypeInfo** info) noexcept {
  if (!info) return E_POINTER;
  *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP CBrowserBase::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP CBrowserBase::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                  UINT*) noexcept {
  return E_NOTIMPL;
}

STDMETHODIMP CBrowserBase::get_Document(IDispatch** document) noexcept {
  return HandOut<IDispatch>(m_pDocument.get(), document);
}

STDMETHODIMP CBrowserBase::get_LocationURL(BSTR* url) noexcept {
  return CopyText(m_strUrl, url);
}

std::span<const InterfaceEntry> CFrameBrowser::Interfaces() noexcept {
  using T = CFrameBrowser;
  static const InterfaceEntry table[] = {
      InterfaceOf<T, IWebBrowser2>(),
      InterfaceOf<T, IWebBrowserApp, IWebBrowser2>(),
      InterfaceOf<T, IWebBrowser, IWebBrowser2>(),
      InterfaceOf<T, IDispatch, IWebBrowser2>(),
  };
  return table;
}

std::span<const InterfaceEntry> CWebBrowserDouble::Interfaces() noexcept {
  using T = CWebBrowserDouble;
  static const InterfaceEntry table[] = {
      InterfaceOf<T, IWebBrowser2>(),
      InterfaceOf<T, IWebBrowserApp, IWebBrowser2>(),
      InterfaceOf<T, IWebBrowser, IWebBrowser2>(),
      InterfaceOf<T, IDispatch, IWebBrowser2>(),
      InterfaceOf<T, IConnectionPointContainer>(),
      InterfaceOf<T, IWebBrowserDoubleControl>(),
      InterfaceOf<T, IOleObject>(),
      InterfaceOf<T, IOleWindow, IOleInPlaceObject>(),
      InterfaceOf<T, IOleInPlaceObject>(),
      InterfaceOf<T, IOleInPlaceActiveObject>(),
  };
  return table;
}

CWebBrowserDouble::CWebBrowserDouble() {
  LiveDoubles().push_back(this);
}

CWebBrowserDouble::~CWebBrowserDouble() {
  std::erase(LiveDoubles(), this);
}

HRESULT CopyLiveDoubles(IWebBrowser2** browsers, UINT capacity, UINT* count) noexcept {
  if (!count || (capacity && !browsers)) return E_POINTER;
  const std::vector<CWebBrowserDouble*>& live = LiveDoubles();
  *count = static_cast<UINT>(live.size());
  for (UINT i = 0; i < capacity; ++i)
    browsers[i] = i < live.size() ? static_cast<IWebBrowser2*>(live[i]) : nullptr;
  for (UINT i = 0; i < capacity && browsers[i]; ++i) browsers[i]->AddRef();
  return S_OK;
}

IDispatch* CWebBrowserDouble::FrameDispatch(const Frame& frame) noexcept {
  return frame.browser ? static_cast<IDispatch*>(static_cast<IWebBrowser2*>(frame.browser.get()))
                       : static_cast<IDispatch*>(static_cast<IWebBrowser2*>(this));
}

bool CWebBrowserDouble::IsCancelled(size_t frame) const noexcept {
  for (size_t i = frame;; i = m_arrFrames[i].parent) {
    if (m_arrFrames[i].cancelled) return true;
    if (i == 0) return false;
  }
}

void CWebBrowserDouble::Fire(DISPID id, std::span<VARIANT> arguments) noexcept {
  if (!m_pEventPoint) return;
  try {
    DISPPARAMS params{arguments.data(), nullptr, static_cast<UINT>(arguments.size()), 0};
    for (const auto& sink : m_pEventPoint->Sinks())
      sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr,
                   nullptr);
  } catch (...) {
    // A sink list that cannot be copied delivers nothing, as a browser out of memory would.
  }
}

bool CWebBrowserDouble::FireBeforeNavigate2(IDispatch* browser, const std::wstring& url) noexcept {
  VARIANT_BOOL cancel = VARIANT_FALSE;
  try {
    UniqueVariant address, flags, target, postData, headers;
    VARIANT* flagsValue = flags.put();
    V_VT(flagsValue) = VT_I4;
    V_I4(flagsValue) = 0;
    VARIANT cancelArgument;
    VariantInit(&cancelArgument);
    V_VT(&cancelArgument) = VT_BYREF | VT_BOOL;
    V_BOOLREF(&cancelArgument) = &cancel;
    VARIANT arguments[] = {cancelArgument,
                           ByReference(StringVariant(headers, L"")),
                           ByReference(postData.put()),
                           ByReference(StringVariant(target, L"")),
                           ByReference(flagsValue),
                           ByReference(StringVariant(address, url)),
                           Borrowed(browser)};
    Fire(DISPID_BEFORENAVIGATE2, arguments);
  } catch (...) {
    // Arguments that cannot be built stop the navigation, as a failed request would.
    return true;
  }
  return cancel != VARIANT_FALSE;
}

void CWebBrowserDouble::FireCompletion(DISPID id, IDispatch* browser,
                                       const std::wstring& url) noexcept {
  try {
    UniqueVariant address;
    VARIANT arguments[] = {ByReference(StringVariant(address, url)), Borrowed(browser)};
    Fire(id, arguments);
  } catch (...) {
    // Without its address the event is not delivered.
  }
}

std::vector<CWebBrowserDouble::Frame> CWebBrowserDouble::LoadFrames(const std::wstring& url) {
  std::vector<Frame> frames;
  frames.push_back({url, LoadPage(url), {}, 0, false});
  AddFrames(frames, 0);
  return frames;
}

void CWebBrowserDouble::AddFrames(std::vector<Frame>& frames, size_t parent) {
  for (auto& document : FrameDocuments(frames[parent].document.get())) {
    auto* browser = new ComObject<CFrameBrowser>();
    frames.push_back({DocumentUrl(document.get()), std::move(document), browser, parent, false});
    AddFrames(frames, frames.size() - 1);
  }
}

// The copies have the frames of the documents they copy, so they line up with the frames here.
void CWebBrowserDouble::RenewFrames(size_t frame) {
  std::vector<Frame> renewed;
  renewed.push_back(
      {m_arrFrames[frame].url, RenewDocument(m_arrFrames[frame].document.get()), {}, 0, false});
  AddFrames(renewed, 0);
  for (size_t i = 0; i < renewed.size() && frame + i < m_arrFrames.size(); ++i) {
    m_arrFrames[frame + i].document = std::move(renewed[i].document);
    m_arrFrames[frame + i].cancelled = false;
  }
}

// Every frame starts and gets its document, then the documents complete innermost first, the top
// one last.
std::vector<size_t> CWebBrowserDouble::FramesOf(size_t frame) const {
  std::vector<size_t> children;
  for (size_t i = frame + 1; i < m_arrFrames.size(); ++i) {
    if (m_arrFrames[i].parent == frame) children.push_back(i);
  }
  if (m_bLastFrameFirst) std::reverse(children.begin(), children.end());
  return children;
}

bool CWebBrowserDouble::IsInside(size_t frame, size_t ancestor) const noexcept {
  for (size_t i = frame;; i = m_arrFrames[i].parent) {
    if (i == ancestor) return true;
    if (i == 0) return false;
  }
}

std::deque<CWebBrowserDouble::Step> CWebBrowserDouble::LoadSteps(size_t frame) const {
  std::deque<Step> steps{{StepKind::NavigateComplete, frame}};
  const auto start = [this, &steps](const auto& self, size_t parent) -> void {
    for (const size_t child : FramesOf(parent)) {
      steps.push_back({StepKind::BeforeNavigate, child});
      steps.push_back({StepKind::NavigateComplete, child});
      self(self, child);
    }
  };
  start(start, frame);
  const auto complete = [this, &steps](const auto& self, size_t parent) -> void {
    for (const size_t child : FramesOf(parent)) self(self, child);
    steps.push_back({StepKind::DocumentComplete, parent});
  };
  complete(complete, frame);
  return steps;
}

void CWebBrowserDouble::ScheduleLoad() {
  m_arrSteps = LoadSteps(0);
  ++m_nLoad;
  m_bBusy = VARIANT_TRUE;
  m_readyState = READYSTATE_LOADING;
}

HRESULT CWebBrowserDouble::PostStep() noexcept {
  if (m_bStepPosted) return S_OK;
  if (!m_pMessageWindow) {
    auto window = std::make_unique<CDoubleWindow>(*this);
    RETURN_IF_FAILED(window->Create(HWND_MESSAGE, 0, RECT{}));
    m_pMessageWindow = std::move(window);
  }
  if (!PostMessageW(m_pMessageWindow->Handle(), kStepMessage, 0, 0)) return LastErrorResult();
  m_bStepPosted = true;
  return S_OK;
}

std::optional<size_t> CWebBrowserDouble::RunnableStep() const noexcept {
  for (size_t i = 0; i < m_arrSteps.size(); ++i) {
    const Step& step = m_arrSteps[i];
    if (step.kind != StepKind::DocumentComplete) return i;
    if (m_setHeldFrames.contains(step.frame)) continue;
    const bool waits = std::any_of(m_arrSteps.begin(), m_arrSteps.begin() + i,
                                   [&](const Step& s) { return IsInside(s.frame, step.frame); });
    if (!waits) return i;
  }
  return std::nullopt;
}

// MSHTML asks its host for the UI handler as it creates the document, before any event about it.
void CWebBrowserDouble::ShowTop(const Frame& top) noexcept {
  TakeHostUI(top.document.get(), m_pClientSite.get());
  Show(top.document, top.url);
  if (m_pViewWindow) InvalidateRect(m_pViewWindow->Handle(), nullptr, TRUE);
}

void CWebBrowserDouble::OnStep() {
  m_bStepPosted = false;
  // A handler may let the last reference go.
  const ComPtr<IUnknown> keepAlive(Identity());
  std::erase_if(m_arrSteps, [this](const Step& step) { return IsCancelled(step.frame); });
  const std::optional<size_t> next = RunnableStep();
  if (!next) return;
  const Step step = m_arrSteps[*next];
  m_arrSteps.erase(m_arrSteps.begin() + static_cast<std::ptrdiff_t>(*next));
  // Copies: a handler may start another navigation, which replaces the frames.
  const Frame frame = m_arrFrames[step.frame];
  const ComPtr<IDispatch> browser(FrameDispatch(frame));
  const unsigned load = m_nLoad;
  switch (step.kind) {
    case StepKind::BeforeNavigate:
      if (FireBeforeNavigate2(browser.get(), frame.url) && load == m_nLoad)
        m_arrFrames[step.frame].cancelled = true;
      break;
    case StepKind::NavigateComplete:
      if (frame.browser) {
        frame.browser->Show(frame.document, frame.url);
      } else {
        ShowTop(frame);
        m_readyState = READYSTATE_INTERACTIVE;
      }
      FireCompletion(DISPID_NAVIGATECOMPLETE2, browser.get(), frame.url);
      break;
    case StepKind::DocumentComplete:
      // The last step ends the load: the top document's, or the one frame's that navigated alone.
      if (m_arrSteps.empty()) {
        m_bBusy = VARIANT_FALSE;
        m_readyState = READYSTATE_COMPLETE;
      }
      FireCompletion(DISPID_DOCUMENTCOMPLETE, browser.get(), frame.url);
      break;
  }
  if (RunnableStep()) PostStep();
}

// The link texts as plain lines, so that a picture of the window shows the list.
void CWebBrowserDouble::Paint(HWND window) noexcept {
  const CPaintDc dc(window);
  const CSelectObject font(dc.get(), GetStockObject(DEFAULT_GUI_FONT));
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc.get(), &metrics);
  SetBkMode(dc.get(), TRANSPARENT);
  int y = kLineMargin;
  try {
    for (const std::wstring& text : LinkTexts(m_pDocument.get())) {
      TextOutW(dc.get(), kLineMargin, y, text.c_str(), static_cast<int>(text.size()));
      y += metrics.tmHeight;
    }
  } catch (...) {
    // What could be read is drawn.
  }
}

STDMETHODIMP CWebBrowserDouble::Navigate(BSTR url, VARIANT*, VARIANT*, VARIANT*,
                                         VARIANT*) noexcept {
  if (!url) return E_INVALIDARG;
  try {
    const ComPtr<IUnknown> keepAlive(Identity());
    const std::wstring address(url, SysStringLen(url));
    const size_t navigation = m_arrNavigations.size();
    m_arrNavigations.push_back({address, false});
    if (FireBeforeNavigate2(static_cast<IWebBrowser2*>(this), address)) {
      m_arrNavigations[navigation].cancelled = true;
      return S_OK;
    }
    if (address.starts_with(L"javascript:")) return S_OK;
    m_arrFrames = LoadFrames(address);
    ScheduleLoad();
    // A load that cannot run must not stay busy for ever.
    const HRESULT posted = PostStep();
    if (FAILED(posted)) Stop();
    return posted;
  }
  CATCH_RETURN();
}

STDMETHODIMP CWebBrowserDouble::Navigate2(VARIANT* url, VARIANT* flags, VARIANT* targetFrameName,
                                          VARIANT* postData, VARIANT* headers) noexcept {
  if (!url || V_VT(url) != VT_BSTR) return E_INVALIDARG;
  return Navigate(V_BSTR(url), flags, targetFrameName, postData, headers);
}

STDMETHODIMP CWebBrowserDouble::LoadFramesLastFirst(BOOL reverse) noexcept {
  m_bLastFrameFirst = reverse != FALSE;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::HoldLoads(BOOL hold) noexcept {
  return HoldFrame(0, hold);
}

STDMETHODIMP CWebBrowserDouble::HoldFrame(UINT index, BOOL hold) noexcept {
  try {
    if (hold) {
      m_setHeldFrames.insert(index);
      return S_OK;
    }
    m_setHeldFrames.erase(index);
    return RunnableStep() ? PostStep() : S_OK;
  }
  CATCH_RETURN();
}

// The frame's browser starts over with the page it shows, as after a click inside the frame on a
// link to its own page: a new document for it and for each frame inside it. The top browser is
// busy until the frame completes, though its ReadyState stays what it was.
STDMETHODIMP CWebBrowserDouble::NavigateFrame(UINT index) noexcept {
  if (index == 0 || index >= m_arrFrames.size()) return E_INVALIDARG;
  try {
    const ComPtr<IUnknown> keepAlive(Identity());
    const Frame frame = m_arrFrames[index];
    const unsigned load = m_nLoad;
    if (FireBeforeNavigate2(FrameDispatch(frame), frame.url) || load != m_nLoad) return S_OK;
    // What the frame still had to load is loaded anew.
    std::erase_if(m_arrSteps, [&](const Step& step) { return IsInside(step.frame, index); });
    RenewFrames(index);
    const std::deque<Step> steps = LoadSteps(index);
    m_arrSteps.insert(m_arrSteps.begin(), steps.begin(), steps.end());
    m_bBusy = VARIANT_TRUE;
    return PostStep();
  }
  CATCH_RETURN();
}

STDMETHODIMP CWebBrowserDouble::FireStatusTextChange(BSTR text) noexcept {
  const ComPtr<IUnknown> keepAlive(Identity());
  VARIANT argument = Borrowed(text);
  Fire(DISPID_STATUSTEXTCHANGE, {&argument, 1});
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::GetNavigation(UINT index, BSTR* url, BOOL* cancelled) noexcept {
  if (!url || !cancelled) return E_POINTER;
  *url = nullptr;
  *cancelled = FALSE;
  if (index >= m_arrNavigations.size()) return S_FALSE;
  *cancelled = m_arrNavigations[index].cancelled ? TRUE : FALSE;
  return CopyText(m_arrNavigations[index].url, url);
}

STDMETHODIMP CWebBrowserDouble::GetSinkCount(UINT* count) noexcept {
  if (!count) return E_POINTER;
  *count = m_pEventPoint ? static_cast<UINT>(m_pEventPoint->Sinks().size()) : 0;
  return S_OK;
}

// A browser reloads without navigation events.
STDMETHODIMP CWebBrowserDouble::Refresh() noexcept {
  try {
    if (m_strUrl.empty()) return S_OK;
    Stop();
    m_arrFrames = LoadFrames(m_strUrl);
    for (const Frame& frame : m_arrFrames) {
      if (frame.browser) frame.browser->Show(frame.document, frame.url);
    }
    ShowTop(m_arrFrames.front());
    return S_OK;
  }
  CATCH_RETURN();
}

STDMETHODIMP CWebBrowserDouble::Stop() noexcept {
  m_arrSteps.clear();
  m_bBusy = VARIANT_FALSE;
  m_readyState = READYSTATE_COMPLETE;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::Quit() noexcept {
  const ComPtr<IUnknown> keepAlive(Identity());
  Stop();
  Fire(DISPID_ONQUIT, {});
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::get_Application(IDispatch** application) noexcept {
  return HandOut<IDispatch>(static_cast<IWebBrowser2*>(this), application);
}

STDMETHODIMP CWebBrowserDouble::get_Busy(VARIANT_BOOL* busy) noexcept {
  if (!busy) return E_POINTER;
  *busy = m_bBusy;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::get_ReadyState(READYSTATE* state) noexcept {
  if (!state) return E_POINTER;
  *state = m_readyState;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::get_Visible(VARIANT_BOOL* visible) noexcept {
  if (!visible) return E_POINTER;
  *visible = m_bVisible;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::put_Visible(VARIANT_BOOL visible) noexcept {
  const ComPtr<IUnknown> keepAlive(Identity());
  m_bVisible = visible ? VARIANT_TRUE : VARIANT_FALSE;
  VARIANT argument;
  VariantInit(&argument);
  V_VT(&argument) = VT_BOOL;
  V_BOOL(&argument) = m_bVisible;
  Fire(DISPID_ONVISIBLE, {&argument, 1});
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::get_StatusText(BSTR* text) noexcept {
  return CopyText(m_strStatusText, text);
}

STDMETHODIMP CWebBrowserDouble::put_StatusText(BSTR text) noexcept {
  try {
    m_strStatusText.assign(text ? text : L"", SysStringLen(text));
    return S_OK;
  }
  CATCH_RETURN();
}

STDMETHODIMP CWebBrowserDouble::FindConnectionPoint(REFIID riid,
                                                    IConnectionPoint** point) noexcept {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(riid, DIID_DWebBrowserEvents2)) return CONNECT_E_NOCONNECTION;
  if (!m_pEventPoint) {
    m_pEventPoint.reset(new (std::nothrow) CConnectionPoint(*this, DIID_DWebBrowserEvents2));
    if (!m_pEventPoint) return E_OUTOFMEMORY;
  }
  return HandOut<IConnectionPoint>(m_pEventPoint.get(), point);
}

STDMETHODIMP CWebBrowserDouble::SetClientSite(IOleClientSite* site) noexcept {
  m_pClientSite = site;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::GetClientSite(IOleClientSite** site) noexcept {
  return HandOut(m_pClientSite.get(), site);
}

// A closed browser loads nothing more.
STDMETHODIMP CWebBrowserDouble::Close(DWORD) noexcept {
  Stop();
  return InPlaceDeactivate();
}

// Every verb that shows the control activates it in place, inside the site's window.
STDMETHODIMP CWebBrowserDouble::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND,
                                       LPCRECT) noexcept {
  if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_UIACTIVATE && verb != OLEIVERB_SHOW &&
      verb != OLEIVERB_PRIMARY) {
    return E_NOTIMPL;
  }
  if (m_pViewWindow) return S_OK;
  const auto inPlace =
      ComPtr<IOleClientSite>(site ? site : m_pClientSite.get()).try_query<IOleInPlaceSite>();
  if (!inPlace) return E_NOINTERFACE;
  if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
  HWND parent = nullptr;
  RETURN_IF_FAILED(inPlace->GetWindow(&parent));
  ComPtr<IOleInPlaceFrame> frame;
  ComPtr<IOleInPlaceUIWindow> document;
  RECT position{};
  RECT clip{};
  OLEINPLACEFRAMEINFO frameInfo{};
  frameInfo.cb = sizeof(frameInfo);
  RETURN_IF_FAILED(
      inPlace->GetWindowContext(frame.put(), document.put(), &position, &clip, &frameInfo));
  RETURN_IF_FAILED(inPlace->OnInPlaceActivate());
  auto window = std::make_unique<CDoubleWindow>(*this);
  const HRESULT created = window->Create(parent, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, position);
  if (FAILED(created)) {
    inPlace->OnInPlaceDeactivate();
    return created;
  }
  m_pViewWindow = std::move(window);
  m_pInPlaceSite = inPlace;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::GetUserClassID(CLSID* clsid) noexcept {
  if (!clsid) return E_POINTER;
  *clsid = CLSID_WebBrowser;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::GetMiscStatus(DWORD, DWORD* status) noexcept {
  if (!status) return E_POINTER;
  *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_INSIDEOUT |
            OLEMISC_CANTLINKINSIDE | OLEMISC_RECOMPOSEONRESIZE;
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::GetWindow(HWND* window) noexcept {
  if (!window) return E_POINTER;
  *window = m_pViewWindow ? m_pViewWindow->Handle() : nullptr;
  return *window ? S_OK : E_FAIL;
}

STDMETHODIMP CWebBrowserDouble::InPlaceDeactivate() noexcept {
  if (!m_pViewWindow) return S_OK;
  m_pViewWindow.reset();
  const auto site = std::move(m_pInPlaceSite);
  if (site) site->OnInPlaceDeactivate();
  return S_OK;
}

STDMETHODIMP CWebBrowserDouble::SetObjectRects(LPCRECT position, LPCRECT) noexcept {
  if (!position) return E_POINTER;
  if (!m_pViewWindow) return E_UNEXPECTED;
  MoveWindow(m_pViewWindow->Handle(), position->left, position->top,
             position->right - position->left, position->bottom - position->top, TRUE);
  return S_OK;
}

}  // namespace tavrin::test_double
