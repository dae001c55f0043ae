#include "dialog_driver.h"

#include "framework/com_ptr.h"
#include "framework/module.h"
#include "framework/unique_any.h"
#include "framework/gdi.h"

#include <gtest/gtest.h>
#include <wincodec.h>

#include <algorithm>
#include <string>

namespace {

constexpr UINT kFindPeriodMs = 50;
constexpr UINT kClosePeriodMs = 1000;

DialogDriver* g_driver = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  GetClassNameW(window, className, 16);
  if (std::wstring(className) != L"#32770" || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

}  // namespace

DialogDriver::DialogDriver(std::function<void(HWND)> steps)
    : m_steps(std::move(steps)),
      m_timer(SetTimer(nullptr, 0, kFindPeriodMs, &DialogDriver::OnTimer)) {
  g_driver = this;
}

DialogDriver::~DialogDriver() {
  KillTimer(nullptr, m_timer);
  g_driver = nullptr;
}

void CALLBACK DialogDriver::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (!g_driver) return;
  if (g_driver->m_ran) {
    KillTimer(nullptr, g_driver->m_timer);
    // Steps that failed an assertion return early, and the modal loop would wait for CTest's
    // timeout.
    if (IsWindowVisible(g_driver->m_dialog)) {
      ADD_FAILURE() << "the steps left the dialog open";
      EndDialog(g_driver->m_dialog, IDABORT);
    }
    return;
  }
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog) return;
  KillTimer(nullptr, g_driver->m_timer);
  g_driver->m_ran = true;
  g_driver->m_dialog = dialog;
  g_driver->m_steps(dialog);
  // Set only now: steps that pump messages must not meet it. A posted close has arrived by then.
  g_driver->m_timer = SetTimer(nullptr, 0, kClosePeriodMs, &DialogDriver::OnTimer);
}

void PumpMessages(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (GetTickCount64() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(10);
  }
}

int WindowPicture::InkIn(RECT area, COLORREF background) const {
  const DWORD blank =
      (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
  int ink = 0;
  for (LONG y = std::max(area.top, 0L); y < std::min(area.bottom, LONG{height}); ++y) {
    for (LONG x = std::max(area.left, 0L); x < std::min(area.right, LONG{width}); ++x)
      ink += (pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF) != blank;
  }
  return ink;
}

WindowPicture CaptureWindow(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  WindowPicture picture{client.right, client.bottom, {}};
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const tavrin::UniqueGdiObject bitmap(
      CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const tavrin::UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap || !dc) return {};
  {
    // Wine's PrintWindow leaves out the child controls, and without a window manager nobody
    // draws the caption: copy the painted client area from the window's own surface.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const tavrin::CWindowDc source(window);
    const tavrin::CSelectObject select(dc.get(), bitmap.get());
    if (!BitBlt(dc.get(), 0, 0, picture.width, picture.height, source.get(), 0, 0, SRCCOPY))
      return {};
  }
  const DWORD* first = static_cast<const DWORD*>(bits);
  picture.pixels.assign(first, first + static_cast<size_t>(picture.width) * picture.height);
  return picture;
}

namespace {

std::wstring PicturePath(const wchar_t* name) {
  std::wstring path = tavrin::ModuleFileName();
  path.resize(path.find_last_of(L'\\') + 1);
  return path + name + L".png";
}

tavrin::ComPtr<IWICImagingFactory> ImagingFactory() {
  tavrin::ComPtr<IWICImagingFactory> factory;
  CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                   IID_PPV_ARGS(factory.put()));
  return factory;
}

}  // namespace

bool SaveWindowPicture(HWND window, const wchar_t* name) {
  WindowPicture picture = CaptureWindow(window);
  if (picture.pixels.empty()) return false;
  const auto factory = ImagingFactory();
  tavrin::ComPtr<IWICBitmap> source;
  tavrin::ComPtr<IWICStream> stream;
  tavrin::ComPtr<IWICBitmapEncoder> encoder;
  tavrin::ComPtr<IWICBitmapFrameEncode> frame;
  tavrin::ComPtr<IPropertyBag2> options;
  const UINT stride = static_cast<UINT>(picture.width) * 4;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  return factory &&
         SUCCEEDED(factory->CreateBitmapFromMemory(
             picture.width, picture.height, GUID_WICPixelFormat32bppBGR, stride,
             stride * picture.height, reinterpret_cast<BYTE*>(picture.pixels.data()),
             source.put())) &&
         SUCCEEDED(factory->CreateStream(stream.put())) &&
         SUCCEEDED(stream->InitializeFromFilename(PicturePath(name).c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) &&
         SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(frame.put(), options.put())) &&
         SUCCEEDED(frame->Initialize(options.get())) &&
         SUCCEEDED(frame->SetSize(picture.width, picture.height)) &&
         SUCCEEDED(frame->SetPixelFormat(&format)) &&
         SUCCEEDED(frame->WriteSource(source.get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
         SUCCEEDED(encoder->Commit());
}

SIZE SavedPictureSize(const wchar_t* name) {
  const auto factory = ImagingFactory();
  tavrin::ComPtr<IWICBitmapDecoder> decoder;
  tavrin::ComPtr<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
  if (!factory ||
      FAILED(factory->CreateDecoderFromFilename(PicturePath(name).c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&width, &height))) {
    return {};
  }
  return {static_cast<LONG>(width), static_cast<LONG>(height)};
}

void ExpectDialogPicture(HWND dialog, const wchar_t* name, std::initializer_list<int> pictures) {
  const WindowPicture picture = CaptureWindow(dialog);
  RECT client{};
  GetClientRect(dialog, &client);
  ASSERT_GT(client.right, 0);
  EXPECT_EQ(picture.width, client.right);
  EXPECT_EQ(picture.height, client.bottom);
  ASSERT_TRUE(SaveWindowPicture(dialog, name));
  const SIZE saved = SavedPictureSize(name);
  EXPECT_EQ(saved.cx, client.right);
  EXPECT_EQ(saved.cy, client.bottom);

  const COLORREF background = GetSysColor(COLOR_BTNFACE);
  LONG firstLeft = client.right;
  for (HWND control = GetWindow(dialog, GW_CHILD); control;
       control = GetWindow(control, GW_HWNDNEXT)) {
    RECT area{};
    GetWindowRect(control, &area);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&area), 2);
    firstLeft = std::min(firstLeft, area.left);
    const int length = GetWindowTextLengthW(control);
    const bool image =
        std::find(pictures.begin(), pictures.end(), GetDlgCtrlID(control)) != pictures.end();
    if (length == 0 || image || !IsWindowVisible(control)) continue;
    // The same control without its text: what is left is its frame, not its words.
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(control, text.data(), length + 1)));
    SetWindowTextW(control, L"");
    const int bare = CaptureWindow(dialog).InkIn(area, background);
    SetWindowTextW(control, text.c_str());
    EXPECT_GT(picture.InkIn(area, background), bare) << "control " << GetDlgCtrlID(control);
  }
  EXPECT_EQ(picture.InkIn({0, 0, firstLeft, client.bottom}, background), 0) << "the left margin";
}
