#pragma once
// Window and dialog bases: the object binds to its window at the first message that carries it
// and receives every message through one virtual function; nothing is thrown past the system.

#include <windows.h>

#include <optional>

namespace tavrin {

class CWindowBase {
public:
    CWindowBase() noexcept = default;
    CWindowBase(const CWindowBase&) = delete;
    CWindowBase& operator=(const CWindowBase&) = delete;
    // The window must be gone before its object: destroy it first.
    virtual ~CWindowBase() = default;

    HWND Handle() const noexcept { return m_hWnd; }

    // Registers the class on first use (class style, cursor and background as given) and creates
    // the window; null on failure.
    HWND Create(const wchar_t* className, UINT classStyle, HBRUSH background, HWND parent, const wchar_t* text,
                DWORD style, DWORD exStyle, const RECT& rect, UINT_PTR id) noexcept;

protected:
    // nullopt passes the message to the default window procedure.
    virtual std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // After WM_NCDESTROY, when the handle is already cleared.
    virtual void OnFinalMessage() noexcept {}

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND m_hWnd = nullptr;
};

class CDialogBase {
public:
    CDialogBase() noexcept = default;
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;
    virtual ~CDialogBase() = default;

    HWND Handle() const noexcept { return m_hWnd; }

    // The EndDialog result, or -1 when the dialog could not be created.
    INT_PTR DoModal(HINSTANCE instance, UINT templateId, HWND parent) noexcept;

protected:
    // Dialog-procedure result; nullopt means "not handled" (FALSE). WM_INITDIALOG is not special:
    // return TRUE to let the system set the focus.
    virtual std::optional<INT_PTR> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    HWND m_hWnd = nullptr;
};

} // namespace tavrin
