#pragma once
// COM objects: a class derives from its interfaces and ComObjectRoot and states its interface
// table once, in lookup order, in a static Interfaces(); ComObject<C> (standalone) and
// AggregatedComObject<C> (inside an outer object) supply IUnknown with a single-threaded count.

#include "framework/com_ptr.h"
#include "framework/hresult.h"
#include "framework/module.h"

#include <unknwn.h>

#include <new>
#include <span>
#include <utility>

namespace tavrin {

struct InterfaceEntry {
  const IID* iid;
  IUnknown* (*cast)(void* object);
};

// Entry for interface I, served by the part of T that implements Via (I itself, or an interface
// derived from it that shares its vtable).
template <class T, class I, class Via = I>
InterfaceEntry InterfaceOf() noexcept {
  return {&__uuidof(I),
          [](void* object) -> IUnknown* { return static_cast<Via*>(static_cast<T*>(object)); }};
}

inline constexpr ULONG kFinalReleaseCount = 0x40000000;

class ComObjectRoot {
 public:
  ComObjectRoot() noexcept { ModuleLock(); }
  ComObjectRoot(const ComObjectRoot&) = delete;
  ComObjectRoot& operator=(const ComObjectRoot&) = delete;
  virtual ~ComObjectRoot() { ModuleUnlock(); }

  // Runs at the final release while the whole object still lives: windows and connections end
  // here, because their messages and events call the object's own methods, which a destructor
  // can no longer reach (IUnknown is the wrapper's).
  virtual void FinalRelease() noexcept {}
};

// IUnknown is answered by the first entry; the pointer handed out is AddRef'ed through the
// interface itself, so an aggregated object counts on its outer unknown.
HRESULT QueryInterfaceFromTable(void* object, std::span<const InterfaceEntry> table, REFIID riid,
                                void** ppv) noexcept;

// Single-threaded apartment: a plain counter; at zero the object runs FinalRelease and deletes
// itself. The count is parked far from zero meanwhile, so a reference taken and given back during
// FinalRelease (a window message, an event) cannot end the object a second time.
template <class Object>
ULONG ReleaseOwnReference(Object* object, ComObjectRoot& root, ULONG& count) noexcept {
  const ULONG remaining = --count;
  if (remaining == 0) {
    count = kFinalReleaseCount;
    root.FinalRelease();
    delete object;
  }
  return remaining;
}

template <class T>
class ComObject final : public T {
 public:
  using T::T;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
    return QueryInterfaceFromTable(static_cast<T*>(this), T::Interfaces(), riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_cRef; }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    return ReleaseOwnReference(this, *this, m_cRef);
  }

 private:
  ULONG m_cRef = 0;
};

template <class T>
class AggregatedComObject final : public IUnknown {
 public:
  explicit AggregatedComObject(IUnknown* outer) : m_contained(outer) {}

  // The inner, non-delegating unknown: the only path to the object's own count.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return QueryInterfaceFromTable(static_cast<T*>(&m_contained), T::Interfaces(), riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return ++m_cRef; }
  STDMETHODIMP_(ULONG) Release() noexcept override {
    return ReleaseOwnReference(this, m_contained, m_cRef);
  }

 private:
  // The object's interfaces delegate their IUnknown to the outer object.
  class Contained final : public T {
   public:
    explicit Contained(IUnknown* outer) : m_outer(outer) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
      return m_outer->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return m_outer->AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return m_outer->Release(); }

   private:
    IUnknown* m_outer;  // not owned: the outer object owns us
  };

  Contained m_contained;
  ULONG m_cRef = 0;
};

// A new standalone object holding its first reference; empty when memory runs out.
template <class T, class... Args>
ComPtr<ComObject<T>> MakeComObject(Args&&... args) {
  return ComPtr<ComObject<T>>(new (std::nothrow) ComObject<T>(std::forward<Args>(args)...));
}

// Creates T as a class factory would: aggregated when there is an outer unknown (which may only
// ask for IUnknown), standalone otherwise.
template <class T>
HRESULT CreateComObject(IUnknown* outer, REFIID riid, void** ppv) noexcept {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  try {
    // Held across the query so that a failing query frees the object.
    ComPtr<IUnknown> object;
    if (outer) {
      object = new (std::nothrow) AggregatedComObject<T>(outer);
    } else if (const auto standalone = MakeComObject<T>()) {
      object = T::Interfaces().front().cast(static_cast<T*>(standalone.get()));
    }
    if (!object) return E_OUTOFMEMORY;
    return object->QueryInterface(riid, ppv);
  }
  CATCH_RETURN();
}

}  // namespace tavrin
