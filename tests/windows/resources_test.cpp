#include "band_dll.h"

#include "framework/unique_any.h"

#include <string>
#include <string_view>
#include <vector>

namespace {

TEST(Resources, DllDeclaresSelfRegistrationAndCarriesItsIconsAndScript) {
  const std::wstring path = DistDll(TAVRIN_DIST_ARCH);
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

// The bar's pages read alike on every system code page: they declare UTF-8 and hold it; the
// toolbar's bitmap has five 16 x 15 images in 16 colours on the transparent magenta.
TEST(Resources, BarPagesDeclareTheirEncodingAndTheToolbarBitmapHasFiveImages) {
  const tavrin::UniqueHmodule module(
      LoadLibraryExW(DistDll(TAVRIN_DIST_ARCH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module);
  const auto bytes = [&](int id, const wchar_t* type) {
    const HRSRC found = FindResourceW(module.get(), MAKEINTRESOURCEW(id), type);
    if (!found) return std::string_view();
    return std::string_view(
        static_cast<const char*>(LockResource(LoadResource(module.get(), found))),
        SizeofResource(module.get(), found));
  };
  const auto wide = [](std::string_view utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                    static_cast<int>(utf8.size()), text.data(),
                                    static_cast<int>(text.size())));
    return text;
  };
  const std::pair<int, std::wstring> pages[] = {
      {204, L"<center>\r\n" + std::wstring(22, L'\u3000') + L"\r\n</center>"},
      {206,
       L"<body  leftmargin=\"0\" topmargin=\"1\">\r\n<center>\r\n"
       L"読み込み中...<br>しばらくお待ちください。\r\n</center>"}};
  for (const auto& [id, body] : pages) {
    const std::wstring page = wide(bytes(id, MAKEINTRESOURCEW(23)));
    EXPECT_TRUE(page.starts_with(L"<html>\r\n<head><meta charset=\"utf-8\"></head>\r\n")) << id;
    EXPECT_NE(page.find(body), std::wstring::npos) << id;
    EXPECT_TRUE(page.ends_with(L"</body>\r\n</html>\r\n")) << id;
  }

  const std::string_view bitmap = bytes(205, RT_BITMAP);
  ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER) + 16 * sizeof(RGBQUAD));
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bitmap.data());
  EXPECT_EQ(header->biWidth, 80);
  EXPECT_EQ(header->biHeight, 15);
  EXPECT_EQ(header->biBitCount, 4);
  // Every row starts on the background: the first pixel of the bottom row names its colour.
  const auto* palette = reinterpret_cast<const RGBQUAD*>(header + 1);
  const auto* pixels = reinterpret_cast<const BYTE*>(palette + 16);
  const RGBQUAD corner = palette[pixels[0] >> 4];
  EXPECT_EQ(RGB(corner.rgbRed, corner.rgbGreen, corner.rgbBlue), RGB(0xFF, 0x00, 0xFF));
}

}  // namespace
