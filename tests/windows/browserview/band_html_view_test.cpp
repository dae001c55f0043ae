#include "browserview/band_html_view.h"

#include "framework/module.h"
#include "shared/settings.h"
#include "stand_ins.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tavrin;

namespace {

class BandHtmlView : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    CreateSettingsKey();
    browser.document = &document;
    locksBefore = ModuleLockCount();
    ASSERT_TRUE(
        view.Create({.parent = parent.Handle(), .style = WS_CHILD | WS_VISIBLE, .id = 100}));
    view.ReplaceBrowser(&browser);
    ASSERT_EQ(view.GetExternal(external.put()), S_OK);
  }
  void TearDown() override {
    external.reset();
    DestroyWindow(view.Handle());
    EXPECT_EQ(ModuleLockCount(), locksBefore);
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

  LONG locksBefore = 0;
  stand_in::Document document;
  stand_in::Browser browser;
  ParentWindow parent;
  Testable<CBandHtmlView> view;
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
  document.body.innerHTML =
      L"<table><tr><td><a href=\"https://a.example/\">a</a></td></tr></table>";
  EXPECT_EQ(CmdEvent(L"Exit", L"", L""), S_OK);
  EXPECT_EQ(document.body.innerHTML, L"");
  document.body.innerHTML = L"<p>again</p>";
  EXPECT_EQ(CmdEvent(L"Exit", L"", L""), S_OK);
  EXPECT_EQ(document.body.innerHTML, L"");

  // A document that is not HTML is left alone.
  stand_in::Element notHtml;
  notHtml.innerHTML = L"<p>kept</p>";
  document.body.innerHTML = L"<p>kept</p>";
  browser.document = &notHtml;
  EXPECT_EQ(CmdEvent(L"Exit", L"", L""), S_OK);
  browser.document = &document;
  EXPECT_EQ(notHtml.innerHTML, L"<p>kept</p>");
  EXPECT_EQ(document.body.innerHTML, L"<p>kept</p>");
  EXPECT_EQ(notHtml.refs, 0u);
  EXPECT_EQ(document.body.refs, 0u);
}

}  // namespace
