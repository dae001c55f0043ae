// dist/x64 and dist/x86 each hold 設定.exe beside Tavrin.dll, with its version block and manifest.

#include "framework/unique_any.h"
#include "pe_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Deliverable {
  const wchar_t* arch;
  unsigned machine;
  const char* manifestArch;
};

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring query = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
  if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
    return {};
  return std::wstring(value, length ? length - 1 : 0);
}

TEST(Deliverables, EachDistFolderHoldsTheToolBesideTheDll) {
  for (const auto& [arch, machine, manifestArch] :
       {Deliverable{L"x64", 0x8664, "amd64"}, Deliverable{L"x86", 0x14C, "x86"}}) {
    SCOPED_TRACE(testing::Message() << "dist\\" << std::string(arch, arch + 3));
    const std::wstring folder = std::wstring(TAVRIN_DIST_DIR) + L"\\" + arch + L"\\";
    const std::wstring tool = folder + L"設定.exe";
    EXPECT_NE(GetFileAttributesW((folder + L"Tavrin.dll").c_str()), INVALID_FILE_ATTRIBUTES);

    const auto names = ReadPeNames(tool);
    ASSERT_TRUE(names);
    EXPECT_EQ(names->machine, machine);
    // Linked -static: nothing but the system's own DLLs.
    for (const auto& dll : names->importedDlls) {
      EXPECT_EQ(dll.find("lib"), std::string::npos) << dll;
    }

    DWORD ignored = 0;
    std::vector<BYTE> block(GetFileVersionInfoSizeW(tool.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(
        GetFileVersionInfoW(tool.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    EXPECT_EQ(VersionString(block, L"FileVersion"), L"1.0.4.6");
    EXPECT_EQ(VersionString(block, L"ProductVersion"), L"1.04");
    EXPECT_EQ(VersionString(block, L"InternalName"), L"設定");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"設定.exe");
    EXPECT_EQ(VersionString(block, L"FileDescription"), L"Tavrin for 設定ツール");
    EXPECT_EQ(VersionString(block, L"ProductName"), L"Tavrin for Internet Explorer");

    const tavrin::UniqueHmodule image(LoadLibraryExW(
        tool.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(image);
    // The system menu's entry for the About box.
    wchar_t about[64] = {};
    LoadStringW(image.get(), 1, about, 64);
    EXPECT_STREQ(about, L"バージョン情報(&A)...");
    const HRSRC found = FindResourceW(image.get(), MAKEINTRESOURCEW(1), RT_MANIFEST);
    ASSERT_TRUE(found);
    const std::string manifest(
        static_cast<const char*>(LockResource(LoadResource(image.get(), found))),
        SizeofResource(image.get(), found));
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find(std::string("processorArchitecture=\"") + manifestArch + "\""),
              std::string::npos);
  }
}

}  // namespace
