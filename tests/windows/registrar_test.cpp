#include "registration/registrar.h"

#include "registry_fixture.h"

using namespace tavrin;

namespace {

using Registrar = ScratchKey;

constexpr wchar_t kScript[] =
    LR"(
HKCU
{
    NoRemove Software
    {
        NoRemove TavrinTest
        {
            Plain = s 'default'
            {
                val Listed = s '%MODULE%,100'
                Child = s 'c'
            }
            ForceRemove Forced = s 'タブリン(&T)'
            {
                'Sub Key' = s '100%%'
            }
            NoRemove Kept
            {
                Inner
            }
        }
    }
}
)";
// A quote in the path must not end the text it is put into.
constexpr wchar_t kModule[] = L"C:\\Bob's Tools\\Tavrin.dll";

TEST_F(Registrar, RegisteringWritesTheTreeAndRenewsForceRemoveKeys) {
  MakeKey(Path(L"Forced\\Stale"));
  ASSERT_EQ(RunRegistryScript(kScript, kModule, true), S_OK);

  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Path(L"Plain"), nullptr), L"default");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Path(L"Plain"), L"Listed"),
            L"C:\\Bob's Tools\\Tavrin.dll,100");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Path(L"Plain\\Child"), nullptr), L"c");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Path(L"Forced"), nullptr), L"タブリン(&T)");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Path(L"Forced\\Sub Key"), nullptr), L"100%");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Forced\\Stale")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Kept\\Inner")));
}

TEST_F(Registrar, UnregisteringFollowsTheRemovalRules) {
  ASSERT_EQ(RunRegistryScript(kScript, kModule, true), S_OK);
  MakeKey(Path(L"Plain\\Foreign"));
  SetRaw(Path(L"Plain"), L"Other", REG_SZ, L"o", 4);

  ASSERT_EQ(RunRegistryScript(kScript, kModule, false), S_OK);
  // A plain key stays while another subkey remains; its listed value goes, others stay.
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Plain\\Foreign")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Plain\\Child")));
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Path(L"Plain"), L"Listed"), std::nullopt);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, Path(L"Plain"), L"Other"), L"o");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Forced")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, Path(L"Kept")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Kept\\Inner")));

  RegDeleteKeyW(HKEY_CURRENT_USER, Path(L"Plain\\Foreign").c_str());
  ASSERT_EQ(RunRegistryScript(kScript, kModule, false), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Plain")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kRoot));
}

TEST_F(Registrar, AMalformedScriptChangesNothing) {
  MakeKey(kRoot);
  const wchar_t* broken[] = {
      LR"(HKCU { Software { TavrinTest { First Second = s 'unterminated } } })",
      LR"(HKCU { Software { TavrinTest { First = s 'x' })",
      LR"(HKCU { Software { TavrinTest { First = s '%UNKNOWN%' } } })",
      LR"(HKXX { Software })",
  };
  for (const wchar_t* script : broken) {
    EXPECT_EQ(RunRegistryScript(script, kModule, true), E_INVALIDARG) << script;
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"First"))) << script;
  }
}

}  // namespace
