#include "settingstool/instance_mutex.h"

namespace tavrin {

bool CInstanceMutex::Create(const wchar_t* name) noexcept {
  Close();
  m_hMutex.reset(CreateMutexW(nullptr, FALSE, name));
  if (!m_hMutex) return false;
  m_bAlreadyExists = GetLastError() == ERROR_ALREADY_EXISTS;
  return true;
}

void CInstanceMutex::Close() noexcept {
  m_hMutex.reset();
  m_bAlreadyExists = false;
}

}  // namespace tavrin
