#include "band_dll.h"
#include "pe_file.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Lower(std::string text) {
  std::ranges::transform(text, text.begin(),
                         [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

void ExpectDeliverable(const wchar_t* arch, unsigned machine) {
  const auto names = ReadPeNames(DistDll(arch));
  ASSERT_TRUE(names) << "cannot read the DLL of the "
                     << (machine == IMAGE_FILE_MACHINE_I386 ? "x86" : "x64") << " build";
  EXPECT_EQ(names->machine, machine);
  // Plain names only: no decorated stdcall duplicates, no ordinal-only entries.
  EXPECT_EQ(names->exports, (std::vector<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                                      "DllRegisterServer", "DllUnregisterServer"}));
  EXPECT_EQ(names->exportedFunctions, 4u);
  // Linked statically: nothing beside the system's own DLLs.
  const std::vector<std::string> system = {
      "advapi32.dll", "comctl32.dll", "gdi32.dll",   "kernel32.dll", "msvcrt.dll",
      "ole32.dll",    "oleaut32.dll", "shell32.dll", "user32.dll",   "wininet.dll"};
  std::vector<std::string> imported;
  for (const std::string& dll : names->importedDlls) imported.push_back(Lower(dll));
  for (const std::string& dll : imported)
    EXPECT_NE(std::ranges::find(system, dll), system.end()) << dll;
  // The anchor-list run over MSHTML is linked in: GetHttpHost is the only user of WinINet.
  EXPECT_NE(std::ranges::find(imported, "wininet.dll"), imported.end());
}

TEST(ExportTable, BothBuildsExportExactlyTheFourEntryPointsAndImportOnlySystemDlls) {
  ExpectDeliverable(L"x64", IMAGE_FILE_MACHINE_AMD64);
  ExpectDeliverable(L"x86", IMAGE_FILE_MACHINE_I386);
}

}  // namespace
