#pragma once
// Window and dialog bases: the object binds to its window at the first message that carries it
// and receives every message through one virtual function; nothing is thrown past the system.

#include <windows.h>

#include <optional>

namespace tavrin {

// The class is registered by its first creator (also racing on other threads), with its style, a
// system cursor (IDC_*, null: none) and background, which every creator of the class states alike.
struct WindowArgs {
  const wchar_t* className = nullptr;
  UINT classStyle = 0;
  const wchar_t* cursor = IDC_ARROW;
  HBRUSH background = nullptr;
  HWND parent = nullptr;
  DWORD style = 0;
  RECT rect{};
  UINT_PTR id = 0;
};

// Owns its window, which must go while the whole object lives, because its WM_DESTROY handling is
// the object's own: a window object is held as CWindow<T>, whose destructor destroys the window
// first, or is a COM object that ends it in FinalRelease. Window classes keep their destructors
// protected so that they cannot be held otherwise.
class CWindowBase {
 public:
  CWindowBase() noexcept = default;
  CWindowBase(const CWindowBase&) = delete;
  CWindowBase& operator=(const CWindowBase&) = delete;

  HWND Handle() const noexcept { return m_hWnd; }

  // Null on failure.
  HWND Create(const WindowArgs& args) noexcept;
  // Idle without a window.
  void Destroy() noexcept;

 protected:
  // A window still there, when the rule above was not followed, is cut off from the object before
  // it is destroyed, so that no message reaches a half-destroyed object.
  virtual ~CWindowBase();

  // nullopt passes the message to the default window procedure.
  virtual std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;

  HWND m_hWnd = nullptr;
};

template <class T>
class CWindow : public T {
 public:
  using T::T;
  ~CWindow() override { this->Destroy(); }
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
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam,
                                     LPARAM lParam) noexcept;

  HWND m_hWnd = nullptr;
};

// Takes over an existing window (a dialog's control) by replacing its window procedure; messages
// the object does not answer go on to the window's own procedure. The window lets go at
// WM_NCDESTROY.
class CWindowSubclass {
 public:
  CWindowSubclass() noexcept = default;
  CWindowSubclass(const CWindowSubclass&) = delete;
  CWindowSubclass& operator=(const CWindowSubclass&) = delete;
  virtual ~CWindowSubclass();

  HWND Handle() const noexcept { return m_hWnd; }

  // Calls OnSubclassed once attached; false when the window cannot be subclassed.
  bool SubclassWindow(HWND hwnd) noexcept;

 protected:
  // nullopt passes the message on to the window's own procedure.
  virtual std::optional<LRESULT> HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual void OnSubclassed() {}
  LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
  void Unsubclass() noexcept;

  HWND m_hWnd = nullptr;
  WNDPROC m_previous = nullptr;
};

// A parent hands a control's WM_COMMAND and WM_CTLCOLOR* back to the control as this base plus the
// message, so that the control owns its colours and clicks.
inline constexpr UINT kReflectedMessageBase = WM_USER + 0x1C00;

// nullopt when the message does not come from a control or the control answers 0 (not handled).
std::optional<LRESULT> ReflectToControl(UINT message, WPARAM wParam, LPARAM lParam) noexcept;

}  // namespace tavrin
