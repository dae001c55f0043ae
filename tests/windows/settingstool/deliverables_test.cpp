// dist/x64 and dist/x86 each hold 設定.exe beside Tavrin.dll, with its version block and manifest.

#include "browserview/ascii_case.h"
#include "framework/unique_any.h"
#include "pe_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
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
    // Elevated on Windows with UAC, where registry virtualisation would hide its writes from the
    // browser; Windows Vista to 11 declared.
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    for (const char* system :
         {"e2011457-1546-43c5-a5fe-008deee3d3f0", "35138b9a-5d96-4fbd-8e2d-a2440225f93a",
          "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38", "1f676c76-80e1-4239-95bb-83d0f6d0da78",
          "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
      EXPECT_NE(manifest.find(system), std::string::npos) << system;
    }
  }
}

// Every file in dist/ loads on Windows XP SP2 only if the system has each function it imports,
// and Wine, which has them all, will not tell.
TEST(Deliverables, ImportOnlyWhatWindowsXpHas) {
  std::ifstream file{std::filesystem::path(TAVRIN_XP_IMPORTS)};
  ASSERT_TRUE(file);
  std::set<std::string> known;
  for (std::string line; std::getline(file, line);) {
    std::istringstream words(line);
    std::string dll, function;
    if (words >> dll >> function && dll.front() != '#') known.insert(dll + " " + function);
  }
  size_t checked = 0;
  for (const wchar_t* arch : {L"x64", L"x86"}) {
    for (const wchar_t* name : {L"Tavrin.dll", L"設定.exe"}) {
      const auto names = ReadPeNames(std::wstring(TAVRIN_DIST_DIR) + L"\\" + arch + L"\\" + name);
      ASSERT_TRUE(names);
      for (const std::string& entry : names->importedFunctions) {
        const size_t space = entry.find(' ');
        const std::string import = tavrin::AsciiLower(entry.substr(0, space)) + entry.substr(space);
        ++checked;
        EXPECT_TRUE(known.contains(import))
            << "dist\\" << std::string(arch, arch + 3) << " imports " << import
            << ": add it to tests/windows/xp_imports.txt with the reason it is safe on Windows XP";
      }
    }
  }
  EXPECT_GT(checked, 400u);
}

}  // namespace
