#include "band_dll.h"

#include "framework/unique_any.h"

#include <vector>

namespace {

TEST(Resources, DllDeclaresSelfRegistrationAndCarriesItsIconsAndScript) {
  const std::wstring path = DistDll(L"x64");
  DWORD ignored = 0;
  std::vector<BYTE> version(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(
      GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  void* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\041104b0\\OLESelfRegister", &value,
                             &length));
  EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(value)), L"yes");

  const tavrin::UniqueHmodule module(
      LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module);
  for (const int id : {100, 101, 210}) {
    // The icon group's directory: a 6-byte header, then 14-byte entries starting with the width.
    const HRSRC group = FindResourceW(module.get(), MAKEINTRESOURCEW(id), RT_GROUP_ICON);
    ASSERT_TRUE(group) << "icon " << id;
    const auto* directory =
        static_cast<const BYTE*>(LockResource(LoadResource(module.get(), group)));
    const WORD count = *reinterpret_cast<const WORD*>(directory + 4);
    std::vector<int> widths;
    for (WORD i = 0; i < count; ++i) widths.push_back(directory[6 + 14 * i]);
    EXPECT_EQ(widths, (std::vector<int>{16, 32})) << "icon " << id;
  }
  EXPECT_TRUE(FindResourceW(module.get(), MAKEINTRESOURCEW(102), L"REGISTRY"));
}

}  // namespace
