#include "band/settings.h"
#include "band/settings_dialog.h"
#include "dialog_driver.h"
#include "framework/unique_any.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace tavrin;

namespace {

class SettingsDialog : public testing::Test {
 protected:
  void SetUp() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
    CreateSettingsKey();
  }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey); }

  static void StoreDomainOnly(DWORD value) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, kDomainOnlyValue, REG_DWORD, &value,
                              sizeof(value)),
              ERROR_SUCCESS);
  }

  // nullopt when the value is missing; fails the test when it is not a REG_DWORD.
  static std::optional<DWORD> StoredDomainOnly() {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, kDomainOnlyValue, RRF_RT_ANY, &type, &value,
                     &size) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    return value;
  }

  // Runs the settings command; steps see the open dialog and the check box's state, and end it.
  static void RunCommand(const std::function<void(HWND, bool)>& steps) {
    const DialogDriver driver(
        [&](HWND dialog) { steps(dialog, IsDlgButtonChecked(dialog, 201) == BST_CHECKED); });
    RunSettingsCommand(nullptr);
    EXPECT_TRUE(driver.Ran());
  }

  static void Press(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
};

std::wstring Text(HWND window) {
  wchar_t text[128] = {};
  GetWindowTextW(window, text, 128);
  return text;
}

std::wstring ClassName(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  CharUpperW(name);
  return name;
}

std::string Describe(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "-" +
         std::to_string(rect.right) + "," + std::to_string(rect.bottom);
}

// The dialog font of a DLGTEMPLATE (not DLGTEMPLATEEX): after the header come the menu, class and
// caption, each a 0 word, a 0xFFFF word and a number, or a string; then the point size and face.
std::pair<WORD, std::wstring> TemplateFont(const DLGTEMPLATE* dialog) {
  auto words = reinterpret_cast<const WORD*>(dialog + 1);
  for (int field = 0; field < 3; ++field) {
    if (*words == 0xFFFF) {
      words += 2;
    } else {
      words += wcslen(reinterpret_cast<const wchar_t*>(words)) + 1;
    }
  }
  return {words[0], reinterpret_cast<const wchar_t*>(words + 1)};
}

TEST_F(SettingsDialog, ShowsTheTableLayoutAndStoresACheckMadeBeforeOk) {
  const HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(211), RT_DIALOG);
  ASSERT_TRUE(resource);
  const auto* dialogTemplate =
      static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, resource)));
  EXPECT_EQ(dialogTemplate->style, 0x80C800C0u);
  EXPECT_EQ(dialogTemplate->cx, 170);
  EXPECT_EQ(dialogTemplate->cy, 87);
  EXPECT_EQ(TemplateFont(dialogTemplate),
            std::make_pair(WORD{9}, std::wstring(L"ＭＳ Ｐゴシック")));

  struct Item {
    WORD id;
    const wchar_t* text;
    RECT units;
    DWORD style;
  };
  const Item expected[] = {
      {0xFFFF, L"リスト表示の設定", {4, 4, 160, 44}, 0x50000007},
      {201, L"別のドメインはリスト表示しない。(&D)", {16, 24, 124, 10}, 0x50010003},
      {IDOK, L"OK", {32, 64, 50, 14}, 0x50010001},
      {IDCANCEL, L"キャンセル", {88, 64, 50, 14}, 0x50010000},
  };
  RunCommand([&](HWND dialog, bool checked) {
    EXPECT_FALSE(checked) << "a fresh profile has no DomainOnly value";
    EXPECT_EQ(Text(dialog), L"設定");
    HWND control = GetWindow(dialog, GW_CHILD);
    for (const Item& item : expected) {
      ASSERT_TRUE(control);
      SCOPED_TRACE(testing::Message() << "control " << item.id);
      EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(control)), item.id);
      EXPECT_EQ(ClassName(control), L"BUTTON");
      EXPECT_EQ(Text(control), item.text);
      EXPECT_EQ(static_cast<DWORD>(GetWindowLongPtrW(control, GWL_STYLE)), item.style);
      // Like the dialog manager, position and size are converted apart, each rounded.
      RECT want = item.units;
      MapDialogRect(dialog, &want);
      want.right += want.left;
      want.bottom += want.top;
      RECT have{};
      GetWindowRect(control, &have);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&have), 2);
      EXPECT_TRUE(EqualRect(&want, &have)) << Describe(want) << " is " << Describe(have);
      control = GetWindow(control, GW_HWNDNEXT);
    }
    EXPECT_FALSE(control) << "more controls than the table";
    ExpectDialogPicture(dialog, L"settings");
    // The client area is the template's, 170 x 87 dialog units.
    RECT size{0, 0, 170, 87};
    MapDialogRect(dialog, &size);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    Press(dialog, 201);
    Press(dialog, IDOK);
  });
  EXPECT_EQ(StoredDomainOnly(), 1u);
}

TEST_F(SettingsDialog, CancelOrClosingWritesNothing) {
  RunCommand([&](HWND dialog, bool) {
    Press(dialog, 201);
    Press(dialog, IDCANCEL);
  });
  EXPECT_EQ(StoredDomainOnly(), std::nullopt);

  StoreDomainOnly(7);
  RunCommand([&](HWND dialog, bool) {
    Press(dialog, 201);
    SendMessageW(dialog, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(StoredDomainOnly(), 7u);
}

TEST_F(SettingsDialog, OkWithoutChangeStoresTheStateAsZeroOrOne) {
  RunCommand([&](HWND dialog, bool checked) {
    EXPECT_FALSE(checked);
    Press(dialog, IDOK);
  });
  EXPECT_EQ(StoredDomainOnly(), 0u) << "a missing value is written as off";

  StoreDomainOnly(7);
  RunCommand([&](HWND dialog, bool checked) {
    EXPECT_TRUE(checked);
    Press(dialog, IDOK);
  });
  EXPECT_EQ(StoredDomainOnly(), 1u);
}

TEST(Settings, WritesNeedTheKeyThatCreateSettingsKeyMakes) {
  RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Halvek");
  WriteSetting(kAutoSyncValue, 1);
  EXPECT_FALSE(ReadSetting(kAutoSyncValue));
  CreateSettingsKey();
  WriteSetting(kAutoSyncValue, 1);
  EXPECT_TRUE(ReadSetting(kAutoSyncValue));
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey);
}

}  // namespace
