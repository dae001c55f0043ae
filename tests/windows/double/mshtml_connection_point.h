// The doubles' connection points.
#pragma once

#include "framework/com_ptr.h"
#include "framework/hresult.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace tavrin::test_double {

// One outgoing interface's connection point, inside the object that owns it and counting on it.
// A sink must answer that interface itself, as a browser asks.
class CConnectionPoint final : public IConnectionPoint {
 public:
  CConnectionPoint(IConnectionPointContainer& owner, const IID& iid) noexcept
      : m_owner(owner), m_iid(iid) {}

  // A copy, so that a sink may unadvise while an event is delivered.
  std::vector<ComPtr<IDispatch>> Sinks() const {
    std::vector<ComPtr<IDispatch>> sinks;
    for (const auto& connection : m_arrConnections) sinks.push_back(connection.second);
    return sinks;
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) noexcept override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IConnectionPoint))
      return E_NOINTERFACE;
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() noexcept override { return m_owner.AddRef(); }
  STDMETHODIMP_(ULONG) Release() noexcept override { return m_owner.Release(); }

  STDMETHODIMP GetConnectionInterface(IID* iid) noexcept override {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
  }
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** owner) noexcept override {
    if (!owner) return E_POINTER;
    *owner = &m_owner;
    m_owner.AddRef();
    return S_OK;
  }
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) noexcept override {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(m_iid, events.put_void())) || !events)
      return CONNECT_E_CANNOTCONNECT;
    try {
      m_arrConnections.emplace_back(++m_dwLastCookie, std::move(events));
    }
    CATCH_RETURN();
    *cookie = m_dwLastCookie;
    return S_OK;
  }
  STDMETHODIMP Unadvise(DWORD cookie) noexcept override {
    const auto found = std::find_if(m_arrConnections.begin(), m_arrConnections.end(),
                                    [cookie](const auto& c) { return c.first == cookie; });
    if (found == m_arrConnections.end()) return CONNECT_E_NOCONNECTION;
    // Released once the entry is gone: the release may call back.
    const ComPtr<IDispatch> sink = std::move(found->second);
    m_arrConnections.erase(found);
    return S_OK;
  }
  STDMETHODIMP EnumConnections(IEnumConnections** connections) noexcept override {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
  }

 private:
  IConnectionPointContainer& m_owner;
  const IID& m_iid;
  std::vector<std::pair<DWORD, ComPtr<IDispatch>>> m_arrConnections;
  DWORD m_dwLastCookie = 0;
};

}  // namespace tavrin::test_double
