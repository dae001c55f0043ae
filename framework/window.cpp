#include "framework/window.h"

#include "framework/module.h"

namespace tavrin {

HWND CWindowBase::Create(const wchar_t* className, UINT classStyle, HBRUSH background, HWND parent,
                         const wchar_t* text, DWORD style, DWORD exStyle, const RECT& rect, UINT_PTR id) noexcept
{
    const HINSTANCE instance = ModuleInstance();
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!GetClassInfoExW(instance, className, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = classStyle;
        wc.lpfnWndProc = &CWindowBase::WindowProc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = background;
        wc.lpszClassName = className;
        if (!RegisterClassExW(&wc)) return nullptr;
    }
    return CreateWindowExW(exStyle, className, text, style, rect.left, rect.top, rect.right - rect.left,
                           rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(id), instance, this);
}

LRESULT CALLBACK CWindowBase::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    auto* self = reinterpret_cast<CWindowBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self && message == WM_NCCREATE) {
        self = static_cast<CWindowBase*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hWnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);

    std::optional<LRESULT> result;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // A failed handler leaves the message to the system.
        result.reset();
    }
    const LRESULT answer = result ? *result : DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        self->OnFinalMessage();
    }
    return answer;
}

INT_PTR CDialogBase::DoModal(HINSTANCE instance, UINT templateId, HWND parent) noexcept
{
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), parent, &CDialogBase::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self && message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        self->m_hWnd = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    }
    if (!self) return FALSE;

    std::optional<INT_PTR> result;
    try {
        result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        result.reset();
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hWnd = nullptr;
    }
    return result ? *result : FALSE;
}

} // namespace tavrin
