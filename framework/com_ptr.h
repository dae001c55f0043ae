#pragma once
// The owning interface pointer.

#include <objbase.h>
#include <unknwn.h>

#include <utility>

namespace tavrin {

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(T* pointer) noexcept : m_p(pointer) {
    if (m_p) m_p->AddRef();
  }
  ComPtr(const ComPtr& other) noexcept : ComPtr(other.m_p) {}
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(m_p, other.m_p);
    return *this;
  }
  ~ComPtr() { reset(); }

  T* get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

  // Releases what is held first, so an out-parameter never leaks the previous reference.
  T** put() noexcept {
    reset();
    return &m_p;
  }
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  void reset() noexcept {
    if (auto* p = std::exchange(m_p, nullptr)) p->Release();
  }

  // The typed query: the IID comes from U, so the two cannot drift apart. Empty when the object
  // lacks the interface.
  template <class U>
  ComPtr<U> try_query() const noexcept {
    ComPtr<U> result;
    if (m_p) m_p->QueryInterface(IID_PPV_ARGS(result.put()));
    return result;
  }

  // Hands out a reference of its own through an out-parameter, as a COM method does.
  template <class U>
  HRESULT copy_to(U** out) const noexcept {
    if (!out) return E_POINTER;
    *out = m_p;
    if (m_p) m_p->AddRef();
    return S_OK;
  }

 private:
  T* m_p = nullptr;
};

}  // namespace tavrin
