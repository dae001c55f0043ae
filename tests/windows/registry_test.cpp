#include "shared/registry.h"

#include "registry_fixture.h"

using namespace tavrin;

namespace {

using RegistryHelpers = ScratchKey;

TEST_F(RegistryHelpers, DwordReadsZeroTheOutputAndRefuseMissingDataOrAnyOtherType) {
  MakeKey(kRoot);
  DWORD value = 0xFFFFFFFF;
  EXPECT_FALSE(RegistryGetDword(HKEY_CURRENT_USER, kRoot, L"Missing", value));
  EXPECT_EQ(value, 0u);

  value = 0xFFFFFFFF;
  EXPECT_FALSE(RegistryGetDword(HKEY_CURRENT_USER, Path(L"NoSuchKey"), L"DomainOnly", value));
  EXPECT_EQ(value, 0u);

  const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SetRaw(kRoot, L"Long", REG_BINARY, eight, sizeof(eight));
  value = 0xFFFFFFFF;
  EXPECT_FALSE(RegistryGetDword(HKEY_CURRENT_USER, kRoot, L"Long", value));
  EXPECT_EQ(value, 0u);

  // Only a REG_DWORD is a DWORD: "0" as text is four bytes too, and must not read as on.
  const unsigned char two[2] = {0x34, 0x12};
  const unsigned char four[4] = {1, 0, 0, 0};
  const struct {
    const wchar_t* name;
    DWORD type;
    const void* data;
    DWORD size;
  } notDwords[] = {
      {L"Short", REG_BINARY, two, sizeof(two)},
      {L"Binary", REG_BINARY, four, sizeof(four)},
      {L"Text", REG_SZ, L"0", 4},
      {L"BigEndian", REG_DWORD_BIG_ENDIAN, four, sizeof(four)},
      {L"ShortDword", REG_DWORD, two, sizeof(two)},
  };
  for (const auto& stored : notDwords) {
    SetRaw(kRoot, stored.name, stored.type, stored.data, stored.size);
    value = 0xFFFFFFFF;
    EXPECT_FALSE(RegistryGetDword(HKEY_CURRENT_USER, kRoot, stored.name, value)) << stored.name;
    EXPECT_EQ(value, 0u) << stored.name;
  }

  EXPECT_TRUE(RegistrySetDword(HKEY_CURRENT_USER, kRoot, L"AutoSync", 1));
  EXPECT_TRUE(RegistryGetDword(HKEY_CURRENT_USER, kRoot, L"AutoSync", value));
  EXPECT_EQ(value, 1u);
}

TEST_F(RegistryHelpers, WritesNeverCreateTheKey) {
  MakeKey(kRoot);
  EXPECT_FALSE(RegistrySetDword(HKEY_CURRENT_USER, Path(L"Absent"), L"DomainOnly", 1));
  EXPECT_FALSE(RegistrySetString(HKEY_CURRENT_USER, Path(L"Absent"), L"Text", L"x"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Absent")));
  EXPECT_FALSE(RegistryDeleteValue(HKEY_CURRENT_USER, Path(L"Absent"), L"Text"));
  EXPECT_FALSE(RegistryDeleteValue(HKEY_CURRENT_USER, kRoot, L"Missing"));
}

TEST_F(RegistryHelpers, StringsKeepEveryCharacterAndTheDefaultValueHasNoName) {
  MakeKey(kRoot);
  const std::wstring text = L"タブリン 🔗 ü";
  EXPECT_TRUE(RegistrySetString(HKEY_CURRENT_USER, kRoot, nullptr, text));
  EXPECT_TRUE(RegistrySetString(HKEY_CURRENT_USER, kRoot, L"名前", text));
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRoot, nullptr), text);
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRoot, L"名前"), text);
  DWORD size = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, kRoot, L"名前", RRF_RT_REG_SZ, nullptr, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size,
            (text.size() + 1) * sizeof(wchar_t));  // the terminator is stored, nothing beyond it

  EXPECT_TRUE(RegistryDeleteValue(HKEY_CURRENT_USER, kRoot, L"名前"));
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kRoot, L"名前"), std::nullopt);
}

TEST_F(RegistryHelpers, CreateKeyNeedsTheParentAndKeepsAnExistingKeysValues) {
  MakeKey(kRoot);
  EXPECT_TRUE(RegistryCreateKey(HKEY_CURRENT_USER, kRoot, L"Tavrin"));
  EXPECT_TRUE(RegistrySetDword(HKEY_CURRENT_USER, Path(L"Tavrin"), L"DomainOnly", 1));
  EXPECT_TRUE(RegistryCreateKey(HKEY_CURRENT_USER, kRoot, L"Tavrin"));
  DWORD value = 0;
  EXPECT_TRUE(RegistryGetDword(HKEY_CURRENT_USER, Path(L"Tavrin"), L"DomainOnly", value));
  EXPECT_EQ(value, 1u);
  EXPECT_FALSE(RegistryCreateKey(HKEY_CURRENT_USER, Path(L"Missing"), L"Tavrin"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"Missing")));
}

TEST_F(RegistryHelpers, TreesAreListedDeepestFirstAndDeletedWhole) {
  MakeKey(Path(L"A\\B\\C"));
  MakeKey(Path(L"A\\D"));
  SetRaw(Path(L"A\\B\\C"), L"v", REG_SZ, L"x", 4);

  std::vector<std::wstring> list;
  EXPECT_TRUE(RegistryCollectSubkeys(HKEY_CURRENT_USER, Path(L"A"), list));
  EXPECT_EQ(list, (std::vector<std::wstring>{Path(L"A\\B\\C"), Path(L"A\\B"), Path(L"A\\D")}));

  EXPECT_TRUE(RegistryDeleteTree(HKEY_CURRENT_USER, Path(L"A")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, Path(L"A")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kRoot));

  EXPECT_FALSE(RegistryDeleteTree(HKEY_CURRENT_USER, Path(L"A")));
  EXPECT_FALSE(RegistryCollectSubkeys(HKEY_CURRENT_USER, Path(L"A"), list));
}

TEST(PathHelpers, ModulePathIsOursAndShortPathsHaveNoSpaces) {
  std::wstring module;
  ASSERT_TRUE(GetModulePath(module));
  EXPECT_TRUE(module.ends_with(L"\\framework_test.exe")) << module.size();

  wchar_t temp[MAX_PATH];
  ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
  const std::wstring directory = std::wstring(temp) + L"Tavrin Long Directory Name";
  CreateDirectoryW(directory.c_str(), nullptr);
  std::wstring shortPath;
  EXPECT_TRUE(GetShortPath(directory, shortPath));
  EXPECT_EQ(shortPath.find(L' '), std::wstring::npos);
  EXPECT_EQ(GetFileAttributesW(shortPath.c_str()), GetFileAttributesW(directory.c_str()));
  RemoveDirectoryW(directory.c_str());
}

}  // namespace
