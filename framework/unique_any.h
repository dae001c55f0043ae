#pragma once
// One move-only owner for every handle type, and the few kinds the system uses.

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace tavrin {

template <class T, auto Close>
class UniqueAny {
 public:
  UniqueAny() noexcept = default;
  explicit UniqueAny(T value) noexcept : m_value(value) {}
  UniqueAny(UniqueAny&& other) noexcept : m_value(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  T get() const noexcept { return m_value; }
  explicit operator bool() const noexcept { return m_value != T{}; }

  // Closes what is held first, so the address can be handed to a function that writes a new value.
  T* put() noexcept {
    reset();
    return &m_value;
  }

  void reset(T value = T{}) noexcept {
    if (m_value != T{}) Close(m_value);
    m_value = value;
  }

  [[nodiscard]] T release() noexcept { return std::exchange(m_value, T{}); }

 private:
  T m_value{};
};

// Keys opened below a predefined root; the roots themselves are never held.
using UniqueHkey = UniqueAny<HKEY, &::RegCloseKey>;
// Handles whose invalid value is null (events, mutexes, processes, threads).
using UniqueHandle = UniqueAny<HANDLE, &::CloseHandle>;
using UniqueHmodule = UniqueAny<HMODULE, &::FreeLibrary>;
using UniqueGdiObject = UniqueAny<HGDIOBJ, &::DeleteObject>;
using UniqueBstr = UniqueAny<BSTR, &::SysFreeString>;

// A VARIANT cleared at scope exit; put() clears before handing out the address.
class UniqueVariant {
 public:
  UniqueVariant() noexcept { VariantInit(&m_value); }
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { VariantClear(&m_value); }

  const VARIANT& get() const noexcept { return m_value; }
  VARIANT* put() noexcept {
    VariantClear(&m_value);
    return &m_value;
  }

 private:
  VARIANT m_value;
};

}  // namespace tavrin
