#include "framework/window.h"

#include "framework/hresult.h"
#include "framework/module.h"

#include <mutex>

namespace tavrin {
namespace {

// A failed handler leaves the message to the system.
template <class Handler>
auto CallHandler(Handler&& handler) noexcept -> decltype(handler()) {
  try {
    return handler();
  } catch (...) {
    static_cast<void>(LOG_CAUGHT_EXCEPTION());
    return std::nullopt;
  }
}

}  // namespace

CWindowBase::~CWindowBase() {
  if (!m_hWnd) return;
  SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
  DestroyWindow(m_hWnd);
}

void CWindowBase::Destroy() noexcept {
  if (m_hWnd) DestroyWindow(m_hWnd);
}

HWND CWindowBase::Create(const WindowArgs& args) noexcept {
  const HINSTANCE instance = ModuleInstance();
  const WNDCLASSEXW wc{.cbSize = sizeof(wc),
                       .style = args.classStyle,
                       .lpfnWndProc = &CWindowBase::WindowProc,
                       .hInstance = instance,
                       .hCursor = args.cursor ? LoadCursorW(nullptr, args.cursor) : nullptr,
                       .hbrBackground = args.background,
                       .lpszClassName = args.className};
  // One registration at a time: Wine refuses a second one before it lists the first class.
  static std::mutex registering;
  std::unique_lock lock(registering);
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  lock.unlock();
  const RECT& rect = args.rect;
  return CreateWindowExW(0, args.className, L"", args.style, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, args.parent,
                         reinterpret_cast<HMENU>(args.id), instance, this);
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept {
  auto* self = reinterpret_cast<CWindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self && message == WM_NCCREATE) {
    self =
        static_cast<CWindowBase*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);

  const auto result = CallHandler([&] { return self->HandleMessage(message, wParam, lParam); });
  const LRESULT answer = result ? *result : DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->m_hWnd = nullptr;
  }
  return answer;
}

INT_PTR CDialogBase::DoModal(HINSTANCE instance, UINT templateId, HWND parent) noexcept {
  return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), parent, &CDialogBase::DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept {
  auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!self && message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialogBase*>(lParam);
    self->m_hWnd = hwnd;
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
  }
  if (!self) return FALSE;

  const auto result = CallHandler([&] { return self->HandleMessage(message, wParam, lParam); });
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, DWLP_USER, 0);
    self->m_hWnd = nullptr;
  }
  return result ? *result : FALSE;
}

namespace {
// comctl32's SetWindowSubclass would tie every user of the framework to that library.
constexpr wchar_t kSubclassProperty[] = L"TavrinSubclass";
}  // namespace

CWindowSubclass::~CWindowSubclass() {
  Unsubclass();
}

bool CWindowSubclass::SubclassWindow(HWND hwnd) noexcept {
  if (m_hWnd || !IsWindow(hwnd) || GetPropW(hwnd, kSubclassProperty)) return false;
  if (!SetPropW(hwnd, kSubclassProperty, this)) return false;
  m_hWnd = hwnd;
  m_previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWindowSubclass::SubclassProc)));
  try {
    OnSubclassed();
  } catch (...) {
    // The control keeps working as the plain window it was.
    static_cast<void>(LOG_CAUGHT_EXCEPTION());
  }
  return true;
}

void CWindowSubclass::Unsubclass() noexcept {
  if (!m_hWnd) return;
  // Someone who subclassed after us still calls our procedure: leave theirs in place.
  if (GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC) ==
      reinterpret_cast<LONG_PTR>(&CWindowSubclass::SubclassProc)) {
    SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
  }
  RemovePropW(m_hWnd, kSubclassProperty);
  m_hWnd = nullptr;
}

LRESULT CWindowSubclass::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  return CallWindowProcW(m_previous, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWindowSubclass::SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                               LPARAM lParam) noexcept {
  auto* self = static_cast<CWindowSubclass*>(GetPropW(hwnd, kSubclassProperty));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  const auto result = CallHandler([&] { return self->HandleMessage(message, wParam, lParam); });
  const LRESULT answer = result ? *result : self->DefaultHandling(message, wParam, lParam);
  if (message == WM_NCDESTROY) self->Unsubclass();
  return answer;
}

std::optional<LRESULT> ReflectToControl(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  const bool fromControl =
      (message == WM_COMMAND || (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)) &&
      lParam != 0;
  if (!fromControl) return std::nullopt;
  const LRESULT answer =
      SendMessageW(reinterpret_cast<HWND>(lParam), kReflectedMessageBase + message, wParam, lParam);
  if (answer == 0) return std::nullopt;
  return answer;
}

}  // namespace tavrin
