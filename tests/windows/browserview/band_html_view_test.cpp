#include "band/band_html_view.h"

#include "framework/module.h"
#include "band/settings.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tavrin;

namespace {

class BandHtmlView : public OnDouble<CBandHtmlView> {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    CreateSettingsKey();
    OnDouble::SetUp();
    Load();
    external = External();
    ASSERT_TRUE(external);
  }
  void TearDown() override {
    external.reset();
    OnDouble::TearDown();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  }

  // What a page's window.external.CmdEvent(command, first, second) does.
  HRESULT CmdEvent(const wchar_t* command, const wchar_t* first, const wchar_t* second) {
    const Text a(command);
    const Text b(first);
    const Text c(second);
    return CallByName(external.get(), L"CmdEvent", DISPATCH_METHOD, {a, b, c});
  }

  static std::optional<DWORD> Stored(const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    return value;
  }

  // The page's body as markup; "?" when it cannot be read.
  std::wstring BodyMarkup() {
    UniqueBstr markup;
    const auto body = Body();
    if (!body || FAILED(body->get_innerHTML(markup.put()))) return L"?";
    return std::wstring(markup.get() ? markup.get() : L"", SysStringLen(markup.get()));
  }
  void SetBodyMarkup(const wchar_t* markup) {
    const Text text(markup);
    ASSERT_EQ(Body()->put_innerHTML(text.get()), S_OK);
  }

  ComPtr<IDispatch> external;
};

TEST_F(BandHtmlView, ConfigWritesTheDecimalValueOfItsTextAsADword) {
  EXPECT_EQ(CmdEvent(L"Config", L"AutoSync", L"1"), S_OK);
  EXPECT_EQ(Stored(kAutoSyncValue), 1u);
  EXPECT_EQ(CmdEvent(L"Config", L"DomainOnly", L"abc"), S_OK);
  EXPECT_EQ(Stored(kDomainOnlyValue), 0u);
  EXPECT_EQ(CmdEvent(L"Config", L"Other", L"  -2x7"), S_OK);
  EXPECT_EQ(Stored(L"Other"), 0xFFFFFFFEu);

  // Commands are case-sensitive, and unknown ones are accepted and ignored.
  EXPECT_EQ(CmdEvent(L"config", L"AutoSync", L"0"), S_OK);
  EXPECT_EQ(CmdEvent(L"Reload", L"AutoSync", L"0"), S_OK);
  EXPECT_EQ(Stored(kAutoSyncValue), 1u);

  // Writing never creates the key.
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
  EXPECT_EQ(CmdEvent(L"Config", L"AutoSync", L"1"), S_OK);
  UniqueHkey key;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.put()), ERROR_SUCCESS);
}

TEST_F(BandHtmlView, ExitEmptiesTheBodyEachTime) {
  SetBodyMarkup(
      L"<table><tbody><tr><td><a href=\"https://a.example/\">a</a></td></tr></tbody></table>");
  EXPECT_EQ(CmdEvent(L"Exit", L"", L""), S_OK);
  EXPECT_EQ(BodyMarkup(), L"");
  SetBodyMarkup(L"<p>again</p>");
  EXPECT_EQ(CmdEvent(L"Exit", L"", L""), S_OK);
  EXPECT_EQ(BodyMarkup(), L"");
}

TEST_F(BandHtmlView, ExitLeavesADocumentThatIsNotHtmlAlone) {
  SetBodyMarkup(L"<p>kept</p>");
  // The same page, its document no longer answering as HTML: the body is there, but not for Exit.
  const auto document = Document();
  ASSERT_EQ(document->InjectFault(L"QueryInterface:IHTMLDocument2", E_NOINTERFACE, -1), S_OK);
  ComPtr<IDispatch> shown;
  ASSERT_EQ(view.HostedBrowser()->get_Document(shown.put()), S_OK);
  ASSERT_TRUE(shown);
  ASSERT_FALSE(shown.try_query<IHTMLDocument2>());
  EXPECT_EQ(CmdEvent(L"Exit", L"", L""), S_OK);
  ASSERT_EQ(document->ClearFaults(), S_OK);
  EXPECT_EQ(BodyMarkup(), L"<p>kept</p>");

  // As HTML again, the next Exit empties it.
  EXPECT_EQ(CmdEvent(L"Exit", L"", L""), S_OK);
  EXPECT_EQ(BodyMarkup(), L"");
}

}  // namespace
