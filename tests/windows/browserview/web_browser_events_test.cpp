#include "browserview/web_browser_events.h"
#include "framework/com_ptr.h"
#include "framework/unique_any.h"

#include <gtest/gtest.h>

#include <exdisp.h>
#include <exdispid.h>

#include <string>
#include <vector>

using namespace tavrin;

namespace {

// Arguments as a source passes them, in parameter order.
class Arguments {
 public:
  Arguments& Add(VARIANT value) {
    m_values.insert(m_values.begin(), value);  // DISPPARAMS holds them last first
    return *this;
  }
  Arguments& Long(long value) {
    return Add(Make(VT_I4, [&](VARIANT& v) { V_I4(&v) = value; }));
  }
  Arguments& Bool(bool value) {
    return Add(Make(VT_BOOL, [&](VARIANT& v) { V_BOOL(&v) = value ? VARIANT_TRUE : 0; }));
  }
  Arguments& Text(const wchar_t* text) {
    m_texts.emplace_back(SysAllocString(text));
    return Add(Make(VT_BSTR, [&](VARIANT& v) { V_BSTR(&v) = m_texts.back().get(); }));
  }
  Arguments& Dispatch(IDispatch* object) {
    return Add(Make(VT_DISPATCH, [&](VARIANT& v) { V_DISPATCH(&v) = object; }));
  }
  // VT_EMPTY or VT_NULL: an argument the source left out.
  Arguments& Missing(VARTYPE type) {
    return Add(Make(type, [](VARIANT&) {}));
  }
  Arguments& Ref(VARTYPE type, void* target) {
    return Add(Make(VT_BYREF | type, [&](VARIANT& v) { V_BYREF(&v) = target; }));
  }
  DISPPARAMS* Params() {
    m_params = {m_values.data(), nullptr, static_cast<UINT>(m_values.size()), 0};
    return &m_params;
  }

 private:
  template <class Fill>
  static VARIANT Make(VARTYPE type, Fill fill) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    fill(v);
    return v;
  }
  std::vector<VARIANT> m_values;
  std::vector<UniqueBstr> m_texts;
  DISPPARAMS m_params{};
};

// Writes to every out-parameter, as a handler that cancels or resizes would.
class Recorder final : public CWebBrowserEventHandler {
 public:
  std::vector<std::wstring> log;
  IDispatch* frame = nullptr;

  void StatusTextChange(const std::wstring& text) override { Note(L"StatusTextChange", text); }
  void ProgressChange(long progress, long progressMax) override {
    Note(L"ProgressChange", progress, progressMax);
  }
  void CommandStateChange(long command, BOOL enable) override {
    Note(L"CommandStateChange", command, B(enable));
  }
  void DownloadBegin() override { Note(L"DownloadBegin"); }
  void DownloadComplete() override { Note(L"DownloadComplete"); }
  void TitleChange(const std::wstring& text) override { Note(L"TitleChange", text); }
  void PropertyChange(const std::wstring& property) override { Note(L"PropertyChange", property); }
  void BeforeNavigate2(IDispatch* pDisp, VARIANT* url, VARIANT* flags, VARIANT* target,
                       VARIANT* postData, VARIANT* headers, VARIANT_BOOL* cancel) override {
    Note(L"BeforeNavigate2", D(pDisp), V(url), V(flags), V(target), V(postData), V(headers),
         C(cancel));
  }
  void NewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel) override {
    *ppDisp = nullptr;
    Note(L"NewWindow2", C(cancel));
  }
  void NavigateComplete2(IDispatch* pDisp, VARIANT* url) override {
    Note(L"NavigateComplete2", D(pDisp), V(url));
  }
  void DocumentComplete(IDispatch* pDisp, VARIANT* url) override {
    Note(L"DocumentComplete", D(pDisp), V(url));
  }
  void OnQuit() override { Note(L"OnQuit"); }
  void OnVisible(BOOL value) override { Note(L"OnVisible", B(value)); }
  void OnToolBar(BOOL value) override { Note(L"OnToolBar", B(value)); }
  void OnMenuBar(BOOL value) override { Note(L"OnMenuBar", B(value)); }
  void OnStatusBar(BOOL value) override { Note(L"OnStatusBar", B(value)); }
  void OnFullScreen(BOOL value) override { Note(L"OnFullScreen", B(value)); }
  void OnTheaterMode(BOOL value) override { Note(L"OnTheaterMode", B(value)); }
  void WindowSetResizable(BOOL value) override { Note(L"WindowSetResizable", B(value)); }
  void WindowSetLeft(long value) override { Note(L"WindowSetLeft", value); }
  void WindowSetTop(long value) override { Note(L"WindowSetTop", value); }
  void WindowSetWidth(long value) override { Note(L"WindowSetWidth", value); }
  void WindowSetHeight(long value) override { Note(L"WindowSetHeight", value); }
  void WindowClosing(BOOL child, VARIANT_BOOL* cancel) override {
    Note(L"WindowClosing", B(child), C(cancel));
  }
  void ClientToHostWindow(long* cx, long* cy) override {
    *cx += 10;
    *cy += 20;
    Note(L"ClientToHostWindow");
  }
  void SetSecureLockIcon(long value) override { Note(L"SetSecureLockIcon", value); }
  void FileDownload(VARIANT_BOOL* cancel) override { Note(L"FileDownload", C(cancel)); }
  void NavigateError(IDispatch* pDisp, VARIANT* url, VARIANT* frameName, VARIANT* status,
                     VARIANT_BOOL* cancel) override {
    Note(L"NavigateError", D(pDisp), V(url), V(frameName), V(status), C(cancel));
  }
  void PrintTemplateInstantiation(IDispatch* pDisp) override {
    Note(L"PrintTemplateInstantiation", D(pDisp));
  }
  void PrintTemplateTeardown(IDispatch* pDisp) override {
    Note(L"PrintTemplateTeardown", D(pDisp));
  }
  void UpdatePageStatus(IDispatch* pDisp, VARIANT* page, VARIANT* done) override {
    Note(L"UpdatePageStatus", D(pDisp), V(page), V(done));
  }
  void PrivacyImpactedStateChange(BOOL value) override {
    Note(L"PrivacyImpactedStateChange", B(value));
  }

 private:
  template <class... Parts>
  void Note(const wchar_t* name, const Parts&... parts) {
    std::wstring line = name;
    ((line += L" " + Part(parts)), ...);
    log.push_back(line);
  }
  static std::wstring Part(const std::wstring& text) { return text; }
  static std::wstring Part(long value) { return std::to_wstring(value); }
  static std::wstring B(BOOL value) { return value ? L"yes" : L"no"; }
  std::wstring D(IDispatch* object) const {
    if (!object) return L"null";
    return object == frame ? L"frame" : L"other";
  }
  static std::wstring V(const VARIANT* value) {
    if (V_VT(value) == VT_BSTR) return V_BSTR(value);
    if (V_VT(value) == VT_I4) return std::to_wstring(V_I4(value));
    return L"?";
  }
  static std::wstring C(VARIANT_BOOL* cancel) {
    *cancel = VARIANT_TRUE;
    return L"cancel";
  }
};

class Sink : public testing::Test {
 protected:
  ComPtr<ComObject<CWebBrowserEvents2>> sink{new ComObject<CWebBrowserEvents2>()};
  Recorder recorder;
  // Any IDispatch stands for the frame.
  ComPtr<ComObject<CWebBrowserEvents2>> frameObject{new ComObject<CWebBrowserEvents2>()};

  HRESULT Fire(DISPID id, Arguments& args, UINT* argError = nullptr) {
    return sink->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, args.Params(), nullptr, nullptr,
                        argError);
  }
};

TEST_F(Sink, ForwardsEveryEventWithItsArgumentsAndWritesOutParametersBack) {
  sink->SetHandler(&recorder);
  recorder.frame = frameObject.get();
  IDispatch* frame = frameObject.get();
  VARIANT_BOOL cancel[6] = {};
  long size[2] = {100, 200};
  IDispatch* newWindow = frame;
  VARIANT url;
  VariantInit(&url);
  V_VT(&url) = VT_BSTR;
  const UniqueBstr address(SysAllocString(L"https://例え.example/パス"));
  V_BSTR(&url) = address.get();
  VARIANT page;
  VariantInit(&page);
  V_VT(&page) = VT_I4;
  V_I4(&page) = 3;

  const auto urlRef = [&](Arguments& a) -> Arguments& { return a.Ref(VT_VARIANT, &url); };
  struct Case {
    DISPID id;
    Arguments args;
  };
  std::vector<Case> cases;
  const auto add = [&](DISPID id) -> Arguments& { return cases.emplace_back(Case{id, {}}).args; };
  add(DISPID_STATUSTEXTCHANGE).Text(L"読み込み中 \U0001F600");
  add(DISPID_PROGRESSCHANGE).Long(5).Long(-1);
  add(DISPID_COMMANDSTATECHANGE).Long(2).Bool(true);
  add(DISPID_DOWNLOADBEGIN);
  add(DISPID_DOWNLOADCOMPLETE);
  add(DISPID_TITLECHANGE).Text(L"題名");
  add(DISPID_PROPERTYCHANGE).Text(L"prop");
  urlRef(add(DISPID_BEFORENAVIGATE2).Dispatch(frame))
      .Ref(VT_VARIANT, &page)
      .Ref(VT_VARIANT, &url)
      .Ref(VT_VARIANT, &page)
      .Ref(VT_VARIANT, &url)
      .Ref(VT_BOOL, &cancel[0]);
  add(DISPID_NEWWINDOW2).Ref(VT_DISPATCH, &newWindow).Ref(VT_BOOL, &cancel[1]);
  urlRef(add(DISPID_NAVIGATECOMPLETE2).Dispatch(frame));
  urlRef(add(DISPID_DOCUMENTCOMPLETE).Dispatch(nullptr));
  add(DISPID_ONQUIT);
  add(DISPID_ONVISIBLE).Bool(true);
  add(DISPID_ONTOOLBAR).Bool(false);
  add(DISPID_ONMENUBAR).Bool(true);
  add(DISPID_ONSTATUSBAR).Bool(false);
  add(DISPID_ONFULLSCREEN).Bool(true);
  add(DISPID_ONTHEATERMODE).Bool(false);
  add(DISPID_WINDOWSETRESIZABLE).Bool(true);
  add(DISPID_WINDOWSETLEFT).Long(-7);
  add(DISPID_WINDOWSETTOP).Long(8);
  add(DISPID_WINDOWSETWIDTH).Long(640);
  add(DISPID_WINDOWSETHEIGHT).Long(480);
  add(DISPID_WINDOWCLOSING).Bool(true).Ref(VT_BOOL, &cancel[2]);
  add(DISPID_CLIENTTOHOSTWINDOW).Ref(VT_I4, &size[0]).Ref(VT_I4, &size[1]);
  add(DISPID_SETSECURELOCKICON).Long(2);
  add(DISPID_FILEDOWNLOAD).Ref(VT_BOOL, &cancel[3]);
  // The later two-argument form: the document flag, then Cancel.
  add(DISPID_FILEDOWNLOAD).Bool(true).Ref(VT_BOOL, &cancel[4]);
  urlRef(add(DISPID_NAVIGATEERROR).Dispatch(frame))
      .Ref(VT_VARIANT, &url)
      .Ref(VT_VARIANT, &page)
      .Ref(VT_BOOL, &cancel[5]);
  add(DISPID_PRINTTEMPLATEINSTANTIATION).Dispatch(frame);
  add(DISPID_PRINTTEMPLATETEARDOWN).Dispatch(frame);
  add(DISPID_UPDATEPAGESTATUS).Dispatch(frame).Ref(VT_VARIANT, &page).Ref(VT_VARIANT, &page);
  add(DISPID_PRIVACYIMPACTEDSTATECHANGE).Bool(true);

  for (Case& c : cases) EXPECT_EQ(Fire(c.id, c.args), S_OK) << c.id;

  const std::wstring u = L"https://例え.example/パス";
  const std::vector<std::wstring> expected = {
      L"StatusTextChange 読み込み中 \U0001F600",
      L"ProgressChange 5 -1",
      L"CommandStateChange 2 yes",
      L"DownloadBegin",
      L"DownloadComplete",
      L"TitleChange 題名",
      L"PropertyChange prop",
      L"BeforeNavigate2 frame " + u + L" 3 " + u + L" 3 " + u + L" cancel",
      L"NewWindow2 cancel",
      L"NavigateComplete2 frame " + u,
      L"DocumentComplete null " + u,
      L"OnQuit",
      L"OnVisible yes",
      L"OnToolBar no",
      L"OnMenuBar yes",
      L"OnStatusBar no",
      L"OnFullScreen yes",
      L"OnTheaterMode no",
      L"WindowSetResizable yes",
      L"WindowSetLeft -7",
      L"WindowSetTop 8",
      L"WindowSetWidth 640",
      L"WindowSetHeight 480",
      L"WindowClosing yes cancel",
      L"ClientToHostWindow",
      L"SetSecureLockIcon 2",
      L"FileDownload cancel",
      L"FileDownload cancel",
      L"NavigateError frame " + u + L" " + u + L" 3 cancel",
      L"PrintTemplateInstantiation frame",
      L"PrintTemplateTeardown frame",
      L"UpdatePageStatus frame 3 3",
      L"PrivacyImpactedStateChange yes",
  };
  EXPECT_EQ(recorder.log, expected);
  for (VARIANT_BOOL written : cancel) EXPECT_EQ(written, VARIANT_TRUE);
  EXPECT_EQ(size[0], 110);
  EXPECT_EQ(size[1], 220);
  EXPECT_EQ(newWindow, nullptr);
}

TEST_F(Sink, PassesAMissingDocumentOnAsNull) {
  sink->SetHandler(&recorder);
  recorder.frame = frameObject.get();
  VARIANT url;
  VariantInit(&url);
  Arguments empty;
  empty.Missing(VT_EMPTY).Ref(VT_VARIANT, &url);
  EXPECT_EQ(Fire(DISPID_DOCUMENTCOMPLETE, empty), S_OK);
  Arguments null;
  null.Missing(VT_NULL).Ref(VT_VARIANT, &url);
  EXPECT_EQ(Fire(DISPID_DOCUMENTCOMPLETE, null), S_OK);

  const std::vector<std::wstring> expected = {
      L"DocumentComplete null ?",
      L"DocumentComplete null ?",
  };
  EXPECT_EQ(recorder.log, expected);
}

TEST_F(Sink, AnswersTheEventInterfaceAndRefusesWhatItCannotDispatch) {
  ComPtr<IDispatch> events;
  ASSERT_EQ(sink->QueryInterface(DIID_DWebBrowserEvents2, events.put_void()), S_OK);
  EXPECT_EQ(events.get(), static_cast<IDispatch*>(sink.get()));

  sink->SetHandler(&recorder);
  Arguments none;
  EXPECT_EQ(Fire(DISPID_BEFORENAVIGATE, none), DISP_E_MEMBERNOTFOUND);
  Arguments tooFew;
  tooFew.Long(1);
  EXPECT_EQ(Fire(DISPID_PROGRESSCHANGE, tooFew), DISP_E_BADPARAMCOUNT);
  // Cancel passed by value cannot be written back.
  VARIANT_BOOL child = VARIANT_FALSE;
  Arguments byValue;
  byValue.Ref(VT_BOOL, &child).Bool(false);
  UINT argError = 99;
  EXPECT_EQ(Fire(DISPID_WINDOWCLOSING, byValue, &argError), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argError, 0u);
  EXPECT_TRUE(recorder.log.empty());

  // Without a handler every event is accepted and goes nowhere.
  sink->SetHandler(nullptr);
  Arguments text;
  text.Text(L"x");
  EXPECT_EQ(Fire(DISPID_STATUSTEXTCHANGE, text), S_OK);
  EXPECT_TRUE(recorder.log.empty());
}

}  // namespace
