#pragma once
// Runs a test's steps inside a modal dialog's own loop, so that no person has to close it, and
// saves what a window shows as a PNG picture beside the test program.

#include <windows.h>

#include <functional>
#include <initializer_list>
#include <vector>

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

// What a window shows: its client area with its controls, painted afresh; rows top first, each
// pixel 0x00RRGGBB.
struct WindowPicture {
  int width = 0;
  int height = 0;
  std::vector<DWORD> pixels;

  // Pixels inside the area (client coordinates) of another colour than the background.
  int InkIn(RECT area, COLORREF background) const;
};
WindowPicture CaptureWindow(HWND window);

// Writes what the window shows to <folder of the test program>\<name>.png.
bool SaveWindowPicture(HWND window, const wchar_t* name);
// The size of a picture saved under that name, read back from its file; 0 x 0 when unreadable.
SIZE SavedPictureSize(const wchar_t* name);

// Checks a dialog's picture: the size of its client area, saved whole, every control's text drawn
// (its area holds more ink than without the text), and the margin left of the controls blank.
// The controls `pictures` draw an image instead of their text.
void ExpectDialogPicture(HWND dialog, const wchar_t* name,
                         std::initializer_list<int> pictures = {});
