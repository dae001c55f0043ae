#include "settingstool/band_dll.h"
#include "tool_process.h"

#include <gtest/gtest.h>

#include <string>

using namespace tavrin;
using namespace settingstool_test;

namespace {

struct DirectoryCase {
  std::wstring path;
  std::wstring directory;
};

TEST(BandDllPath, FolderOfTheToolKeepsWideNamesAndDriveRoots) {
  const std::wstring deep = L"C:\\" + std::wstring(300, L'表') + L"\\設定.exe";
  const DirectoryCase cases[] = {
      {L"C:\\Program Files\\Tavrin\\設定.exe", L"C:\\Program Files\\Tavrin"},
      // In Shift-JIS the second byte of 表 is a backslash.
      {L"C:\\表\\設定.exe", L"C:\\表"},
      {L"C:\\設定.exe", L"C:\\"},
      {L"\\\\server\\share\\設定.exe", L"\\\\server\\share"},
      {L"設定.exe", L""},
      {deep, deep.substr(0, deep.size() - 7)},
  };
  for (const auto& [path, directory] : cases) EXPECT_EQ(GetModuleDirectory(path), directory);

  std::wstring root = L"C:\\";
  AppendBackslash(root);
  EXPECT_EQ(root + L"Tavrin.dll", L"C:\\Tavrin.dll");
  std::wstring folder = L"C:\\表";
  AppendBackslash(folder);
  EXPECT_EQ(folder, L"C:\\表\\");

  EXPECT_EQ(GetBandDllPath(), BuildFile(L"Tavrin.dll"));
}

TEST(BandDllPath, OnlyFilesExist) {
  EXPECT_TRUE(FileExists(DistFile(L"Tavrin.dll")));
  EXPECT_FALSE(FileExists(std::wstring(TAVRIN_DIST_DIR) + L"\\" TAVRIN_DIST_ARCH));
  EXPECT_FALSE(FileExists(DistFile(L"none.dll")));
}

TEST(IsFileLocked, OnlyASharingViolationCounts) {
  const CScratchFolder folder(L"Tavrin 表 locked");
  const std::wstring dll = folder.Path() + L"Tavrin.dll";
  ASSERT_TRUE(folder.Copy(DistFile(L"Tavrin.dll"), L"Tavrin.dll"));
  EXPECT_FALSE(IsFileLocked(dll));
  EXPECT_FALSE(IsFileLocked(folder.Path() + L"missing.dll"));
  for (const wchar_t* mode : {L"open", L"load"}) {
    const CFileHolder holder(mode, dll);
    EXPECT_TRUE(holder.Holding()) << mode;
  }
  EXPECT_FALSE(IsFileLocked(dll));
}

struct ExportCase {
  std::wstring dll;
  BandDllOutcome outcome;
  HRESULT hr;
};

TEST(RegisterBandDll, TellsTheLoaderTheExportAndItsResultApart) {
  const ExportCase cases[] = {
      {DistFile(L"Tavrin.dll"), BandDllOutcome::Done, S_OK},
      {BuildFile(L"failing-band.dll"), BandDllOutcome::Failed, E_ACCESSDENIED},
      {BuildFile(L"..\\double\\shell-windows-double.dll"), BandDllOutcome::NoExport,
       HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)},
      {BuildFile(L"settingstool_test.exe.missing"), BandDllOutcome::NotLoadable,
       HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)},
  };
  for (const auto& [dll, outcome, hr] : cases) {
    for (const auto call : {&RegisterBandDll, &UnregisterBandDll}) {
      const BandDllResult result = call(dll);
      EXPECT_EQ(result.outcome, outcome) << dll;
      EXPECT_EQ(result.hr, hr) << dll;
    }
  }
}

}  // namespace
