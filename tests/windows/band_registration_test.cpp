#include "band_dll.h"
#include "registry_fixture.h"

#include "framework/unique_any.h"

#include <map>
#include <sstream>
#include <string>

namespace {

constexpr wchar_t kClsidKey[] = L"CLSID\\{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215}";
constexpr wchar_t kExtensions[] = L"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions";
constexpr wchar_t kExtensionKey[] =
    L"SOFTWARE\\Microsoft\\Internet Explorer\\Extensions\\{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215}";
constexpr wchar_t kTypeLibKey[] = L"TypeLib\\{D4A7F0C2-3B6E-4E19-8C55-1F2B9A6E7C30}";
// The shell's caches of the desk bands and of the info bands (the vertical bars the band joins).
constexpr const wchar_t* kCacheKeys[] = {
    L"Component Categories\\{00021492-0000-0000-C000-000000000046}\\Enum",
    L"Component Categories\\{00021493-0000-0000-C000-000000000046}\\Enum"};

void FillCategoryCaches() {
  for (const wchar_t* cache : kCacheKeys) {
    ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, cache, L"Implementing", REG_SZ, L"x", 4),
              ERROR_SUCCESS);
  }
}

// Every key and value below a key, as "path|name" -> "type:data".
using Snapshot = std::map<std::wstring, std::wstring>;

void Collect(HKEY root, const std::wstring& path, Snapshot& snapshot) {
  tavrin::UniqueHkey key;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  snapshot[path + L"|"] += L"";
  wchar_t name[16384];
  BYTE data[4096];
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(std::size(name));
    DWORD size = sizeof(data);
    DWORD type = 0;
    if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) !=
        ERROR_SUCCESS)
      break;
    snapshot[path + L"|" + name] =
        std::to_wstring(type) + L":" +
        std::wstring(reinterpret_cast<wchar_t*>(data), size / sizeof(wchar_t));
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(std::size(name));
    if (RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    Collect(root, path + L"\\" + name, snapshot);
  }
}

Snapshot Registration() {
  Snapshot snapshot;
  for (const wchar_t* key : {kClsidKey, L"Tavrin.TavrinBandsObject", L"Tavrin.TavrinBandsObject.1",
                             kTypeLibKey, L"Interface\\{8C61D2F4-7A05-4B93-A1E6-3D5F9B0C2E48}"})
    Collect(HKEY_CLASSES_ROOT, key, snapshot);
  Collect(HKEY_LOCAL_MACHINE, kExtensionKey, snapshot);
  return snapshot;
}

// The DLL copied into a directory with spaces and long names, as an installation would place it.
class BandRegistration : public ScratchKey {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_TRUE(GetTempPathW(MAX_PATH, temp));
    m_directory = std::wstring(temp) + L"Tavrin Long Directory Name";
    CreateDirectoryW(m_directory.c_str(), nullptr);
    m_path = m_directory + L"\\Tavrin.dll";
    ASSERT_TRUE(CopyFileW(DistDll(TAVRIN_DIST_ARCH).c_str(), m_path.c_str(), FALSE));
    m_dll.emplace(m_path);
    m_dll->Unregister();
  }

  void TearDown() override {
    // SetUp may have failed before loading the DLL.
    if (m_dll) m_dll->Unregister();
    m_dll.reset();
    DeleteFileW(m_path.c_str());
    RemoveDirectoryW(m_directory.c_str());
  }

  std::wstring ShortPath() const {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetShortPathNameW(m_path.c_str(), buffer, MAX_PATH);
    return std::wstring(buffer, length);
  }

  std::wstring m_directory;
  std::wstring m_path;
  std::optional<BandDll> m_dll;
};

TEST_F(BandRegistration, WritesEveryKeyAndClearsTheCategoryCaches) {
  FillCategoryCaches();
  ASSERT_EQ(m_dll->Register(), S_OK);

  const std::wstring clsid = L"{5B3E1A47-C2D9-4F60-9E81-7A4D0C93B215}";
  const std::wstring key = kClsidKey;
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key, nullptr), L"タブリン(&T)");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr),
            L"Tavrin.TavrinBandsObject.1");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\VersionIndependentProgID", nullptr),
            L"Tavrin.TavrinBandsObject");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key + L"\\Programmable"));
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr), m_path);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel"),
            L"Apartment");
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, key + L"\\TypeLib", nullptr),
            L"{D4A7F0C2-3B6E-4E19-8C55-1F2B9A6E7C30}");
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT,
                        key + L"\\Implemented Categories\\{00021493-0000-0000-C000-000000000046}"));

  for (const wchar_t* progId : {L"Tavrin.TavrinBandsObject.1", L"Tavrin.TavrinBandsObject"}) {
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, progId, nullptr), L"TavrinBandsObject Class");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::wstring(progId) + L"\\CLSID", nullptr), clsid);
  }
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, L"Tavrin.TavrinBandsObject\\CurVer", nullptr),
            L"Tavrin.TavrinBandsObject.1");

  const std::wstring shortPath = ShortPath();
  EXPECT_EQ(shortPath.find(L' '), std::wstring::npos);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"CLSID"),
            L"{E0DD6CAB-2D10-11D2-8F1A-0000F87ABD16}");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"BandCLSID"), clsid);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"ButtonText"), L"タブリン");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"ToolTip"), L"タブリン");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"Default Visible"), L"Yes");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"Icon"), shortPath + L",100");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"HotIcon"), shortPath + L",101");

  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kTypeLibKey) + L"\\1.0"));
  // On 64-bit Windows each browser reads the registry view of its own bitness: the x86 DLL
  // registers for the 32-bit browser only, the x64 DLL for the 64-bit one only.
  const REGSAM own = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const REGSAM other = own == KEY_WOW64_64KEY ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  for (const std::wstring& path : {L"SOFTWARE\\Classes\\" + key, std::wstring(kExtensionKey)}) {
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path, own)) << path;
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, other)) << path;
  }
  for (const wchar_t* cache : kCacheKeys)
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, cache, L"Implementing"), std::nullopt) << cache;
}

TEST_F(BandRegistration, RegisteringTwiceLeavesExactlyTheSameKeys) {
  ASSERT_EQ(m_dll->Register(), S_OK);
  const Snapshot once = Registration();
  ASSERT_GT(once.size(), 20u);
  ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, (std::wstring(kClsidKey) + L"\\Stale").c_str(), L"v",
                            REG_SZ, L"x", 4),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kExtensionKey, L"Stale", REG_SZ, L"x", 4),
            ERROR_SUCCESS);
  ASSERT_EQ(m_dll->Register(), S_OK);
  EXPECT_EQ(Registration(), once);
}

TEST_F(BandRegistration, UnregisteringRemovesTheBandButKeepsSharedParents) {
  ASSERT_EQ(m_dll->Register(), S_OK);
  FillCategoryCaches();
  ASSERT_EQ(m_dll->Unregister(), S_OK);
  EXPECT_EQ(Registration(), Snapshot{});
  for (const wchar_t* cache : kCacheKeys)
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, cache, L"Implementing"), std::nullopt) << cache;
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kExtensions));
  // Nothing left to remove is not a failure.
  EXPECT_EQ(m_dll->Unregister(), S_OK);
  EXPECT_EQ(Registration(), Snapshot{});
}

// Keys that other programs share are never the band's to delete, even when it leaves one empty.
TEST(BandRegistrationScript, MarksEverySharedParentNoRemove) {
  const tavrin::UniqueHmodule module(
      LoadLibraryExW(DistDll(TAVRIN_DIST_ARCH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module);
  const HRSRC resource = FindResourceW(module.get(), MAKEINTRESOURCEW(102), L"REGISTRY");
  ASSERT_TRUE(resource);
  const HGLOBAL loaded = LoadResource(module.get(), resource);
  const std::string script(static_cast<const char*>(LockResource(loaded)),
                           SizeofResource(module.get(), resource));
  // Each line that opens one of them, without its indentation.
  std::map<std::string, std::string> opened;
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);) {
    const size_t start = line.find_first_not_of(" \t");
    const size_t end = line.find_last_not_of(" \t\r");
    if (start == std::string::npos) continue;
    const std::string text = line.substr(start, end - start + 1);
    opened[text.substr(text.find(' ') + 1)] = text;
  }
  for (const std::string shared :
       {"CLSID", "SOFTWARE", "Microsoft", "'Internet Explorer'", "Extensions"}) {
    EXPECT_EQ(opened[shared], "NoRemove " + shared);
  }
}

TEST_F(BandRegistration, WinesRegsvr32RegistersThroughTheExports) {
  const auto run = [](std::wstring command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
      return DWORD(-1);
    const tavrin::UniqueHandle processHandle(process.hProcess);
    const tavrin::UniqueHandle threadHandle(process.hThread);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    return code;
  };
  EXPECT_EQ(run(L"regsvr32.exe /s \"" + m_path + L"\""), 0u);
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::wstring(kClsidKey) + L"\\InprocServer32", nullptr),
            m_path);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kExtensionKey, L"Icon"), ShortPath() + L",100");
  EXPECT_EQ(run(L"regsvr32.exe /u /s \"" + m_path + L"\""), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClsidKey));
}

}  // namespace
