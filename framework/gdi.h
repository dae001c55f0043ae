#pragma once
// Owners for the drawing and window handles the dialogs' controls use.

#include "framework/unique_any.h"

#include <windows.h>

namespace tavrin {

using UniqueMemoryDc = UniqueAny<HDC, &::DeleteDC>;
using UniqueCursor = UniqueAny<HCURSOR, &::DestroyCursor>;
using UniqueWindow = UniqueAny<HWND, &::DestroyWindow>;

// GetDC / ReleaseDC.
class CWindowDc {
 public:
  explicit CWindowDc(HWND window) noexcept : m_window(window), m_dc(GetDC(window)) {}
  CWindowDc(const CWindowDc&) = delete;
  CWindowDc& operator=(const CWindowDc&) = delete;
  ~CWindowDc() {
    if (m_dc) ReleaseDC(m_window, m_dc);
  }
  HDC get() const noexcept { return m_dc; }

 private:
  HWND m_window;
  HDC m_dc;
};

// BeginPaint / EndPaint.
class CPaintDc {
 public:
  explicit CPaintDc(HWND window) noexcept : m_window(window), m_dc(BeginPaint(window, &m_paint)) {}
  CPaintDc(const CPaintDc&) = delete;
  CPaintDc& operator=(const CPaintDc&) = delete;
  ~CPaintDc() { EndPaint(m_window, &m_paint); }
  HDC get() const noexcept { return m_dc; }

 private:
  HWND m_window;
  PAINTSTRUCT m_paint{};
  HDC m_dc;
};

// Selects an object into a device context and puts the previous one back.
class CSelectObject {
 public:
  CSelectObject(HDC dc, HGDIOBJ object) noexcept : m_dc(dc), m_previous(SelectObject(dc, object)) {}
  CSelectObject(const CSelectObject&) = delete;
  CSelectObject& operator=(const CSelectObject&) = delete;
  ~CSelectObject() {
    if (m_previous && m_previous != HGDI_ERROR) SelectObject(m_dc, m_previous);
  }

 private:
  HDC m_dc;
  HGDIOBJ m_previous;
};

}  // namespace tavrin
