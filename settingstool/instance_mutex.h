#pragma once
// The named mutex that tells a second copy of the tool that one is running.

#include "framework/unique_any.h"

namespace tavrin {

class CInstanceMutex {
 public:
  // Closes a mutex already held, then creates the unowned named one; false when that fails.
  bool Create(const wchar_t* name) noexcept;
  // Another process held the name when Create ran.
  bool AlreadyExists() const noexcept { return m_bAlreadyExists; }
  void Close() noexcept;

 private:
  UniqueHandle m_hMutex;
  bool m_bAlreadyExists = false;
};

}  // namespace tavrin
