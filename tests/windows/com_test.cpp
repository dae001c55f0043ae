#include "framework/com_object.h"
#include "framework/com_ptr.h"
#include "framework/hresult.h"
#include "framework/unique_any.h"

#include <gtest/gtest.h>

#include <ocidl.h>

#include <new>
#include <stdexcept>

using namespace tavrin;

namespace {

// Counts its references, so a test can see who releases what.
class CountingUnknown final : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++count; }
  STDMETHODIMP_(ULONG) Release() override { return --count; }
  ULONG count = 0;
};

class ThrowingObject : public IPersist, public ComObjectRoot {
 public:
  ThrowingObject() { throw std::bad_alloc(); }
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    static const InterfaceEntry table[] = {InterfaceOf<ThrowingObject, IPersist>()};
    return table;
  }
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
};

TEST(ComPtr, PutReleasesWhatWasHeldAndQueryIsEmptyWithoutTheInterface) {
  CountingUnknown first;
  CountingUnknown second;
  {
    ComPtr<IUnknown> pointer(&first);
    EXPECT_EQ(first.count, 1u);
    IUnknown** out = pointer.put();
    EXPECT_EQ(first.count, 0u);
    *out = &second;  // as a callee hands out a reference
    second.AddRef();
    EXPECT_FALSE(pointer.try_query<IPersist>());
    const ComPtr<IUnknown> copy = pointer;
    EXPECT_EQ(second.count, 2u);
  }
  EXPECT_EQ(second.count, 0u);
}

TEST(ComPtr, CopyToHandsOutAReferenceOfItsOwn) {
  CountingUnknown object;
  const ComPtr<IUnknown> pointer(&object);
  IUnknown* out = nullptr;
  EXPECT_EQ(pointer.copy_to(&out), S_OK);
  EXPECT_EQ(out, &object);
  EXPECT_EQ(object.count, 2u);
  out->Release();
  EXPECT_EQ(ComPtr<IUnknown>().copy_to(&out), S_OK);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(pointer.copy_to<IUnknown>(nullptr), E_POINTER);
}

TEST(UniqueAny, ClosesOnResetAndMovesOwnership) {
  UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  const HANDLE raw = event.get();
  UniqueHandle moved(std::move(event));
  EXPECT_FALSE(event);
  EXPECT_EQ(moved.get(), raw);
  moved.reset();
  EXPECT_EQ(WaitForSingleObject(raw, 0), WAIT_FAILED);  // the handle is closed
}

template <class Exception>
HRESULT GuardedThrow(Exception exception) noexcept {
  try {
    throw exception;
  }
  CATCH_RETURN();
}

TEST(CatchReturn, MapsOutOfMemoryAndEveryOtherException) {
  EXPECT_EQ(GuardedThrow(std::bad_alloc()), E_OUTOFMEMORY);
  EXPECT_EQ(GuardedThrow(std::runtime_error("x")), E_UNEXPECTED);
}

TEST(LastErrorResult, IsAFailureEvenWhenNoErrorWasSet) {
  SetLastError(ERROR_ACCESS_DENIED);
  EXPECT_EQ(LastErrorResult(), E_ACCESSDENIED);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(LastErrorResult(), E_FAIL);
}

// Holds itself during its final release, as a window message or an event then does.
class SelfHoldingObject : public IPersist, public ComObjectRoot {
 public:
  static std::span<const InterfaceEntry> Interfaces() noexcept {
    static const InterfaceEntry table[] = {InterfaceOf<SelfHoldingObject, IPersist>()};
    return table;
  }
  ~SelfHoldingObject() override { ++destructions; }
  void FinalRelease() noexcept override {
    const ComPtr<IPersist> self(this);
    ++finalReleases;
  }
  STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
  static inline int finalReleases = 0;
  static inline int destructions = 0;
};

TEST(CreateComObject, AReferenceTakenDuringTheFinalReleaseEndsTheObjectOnce) {
  const LONG locks = ModuleLockCount();
  MakeComObject<SelfHoldingObject>().reset();
  CountingUnknown outer;
  ComPtr<IUnknown> inner;
  ASSERT_EQ(CreateComObject<SelfHoldingObject>(&outer, IID_IUnknown, inner.put_void()), S_OK);
  inner.reset();
  EXPECT_EQ(SelfHoldingObject::finalReleases, 2);
  EXPECT_EQ(SelfHoldingObject::destructions, 2);
  EXPECT_EQ(ModuleLockCount(), locks);
}

TEST(CreateComObject, AConstructorOutOfMemoryIsAnHresultAndNoLockRemains) {
  const LONG locks = ModuleLockCount();
  ComPtr<IPersist> object;
  EXPECT_EQ(CreateComObject<ThrowingObject>(nullptr, IID_IPersist, object.put_void()),
            E_OUTOFMEMORY);
  EXPECT_FALSE(object);
  EXPECT_EQ(ModuleLockCount(), locks);
}

}  // namespace
