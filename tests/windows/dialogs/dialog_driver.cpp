#include "dialog_driver.h"

#include "framework/com_ptr.h"
#include "framework/module.h"
#include "framework/unique_any.h"
#include "framework/gdi.h"

#include <gtest/gtest.h>
#include <wincodec.h>

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

bool SaveWindowPicture(HWND window, const wchar_t* name) {
  RECT client{};
  GetClientRect(window, &client);
  const int width = client.right;
  const int height = client.bottom;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const tavrin::UniqueGdiObject bitmap(
      CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  const tavrin::UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  if (!bitmap || !dc) return false;
  {
    // Wine's PrintWindow leaves out the child controls, and without a window manager nobody
    // draws the caption: copy the painted client area from the window's own surface.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const tavrin::CWindowDc source(window);
    const tavrin::CSelectObject select(dc.get(), bitmap.get());
    if (!BitBlt(dc.get(), 0, 0, width, height, source.get(), 0, 0, SRCCOPY)) return false;
  }

  std::wstring path = tavrin::ModuleFileName();
  path.resize(path.find_last_of(L'\\') + 1);
  path += std::wstring(name) + L".png";

  tavrin::ComPtr<IWICImagingFactory> factory;
  tavrin::ComPtr<IWICBitmap> source;
  tavrin::ComPtr<IWICStream> stream;
  tavrin::ComPtr<IWICBitmapEncoder> encoder;
  tavrin::ComPtr<IWICBitmapFrameEncode> frame;
  tavrin::ComPtr<IPropertyBag2> options;
  const UINT stride = static_cast<UINT>(width) * 4;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_PPV_ARGS(factory.put()))) &&
         SUCCEEDED(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat32bppBGR,
                                                   stride, stride * height,
                                                   static_cast<BYTE*>(bits), source.put())) &&
         SUCCEEDED(factory->CreateStream(stream.put())) &&
         SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
         SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) &&
         SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
         SUCCEEDED(encoder->CreateNewFrame(frame.put(), options.put())) &&
         SUCCEEDED(frame->Initialize(options.get())) && SUCCEEDED(frame->SetSize(width, height)) &&
         SUCCEEDED(frame->SetPixelFormat(&format)) &&
         SUCCEEDED(frame->WriteSource(source.get(), nullptr)) && SUCCEEDED(frame->Commit()) &&
         SUCCEEDED(encoder->Commit());
}
