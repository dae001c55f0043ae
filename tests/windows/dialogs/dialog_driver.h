#pragma once
// Runs a test's steps inside a modal dialog's own loop, so that no person has to close it, and
// saves what a window shows as a PNG picture beside the test program.

#include <windows.h>

#include <functional>

// Calls steps once with the first dialog this thread shows; the steps end the dialog, and one they
// leave open is a failure that ends it with IDABORT.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(HWND)> steps);
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;
  ~DialogDriver();

  bool Ran() const { return m_ran; }

 private:
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD);

  std::function<void(HWND)> m_steps;
  UINT_PTR m_timer;
  HWND m_dialog = nullptr;
  bool m_ran = false;
};

// Dispatches this thread's messages for the given time, as a dialog's loop would.
void PumpMessages(DWORD milliseconds);

// Copies the window's client area with its controls and writes <folder of the test
// program>\<name>.png.
bool SaveWindowPicture(HWND window, const wchar_t* name);
