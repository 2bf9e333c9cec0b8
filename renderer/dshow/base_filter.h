// A filter's identity, its place in a graph, its clock and its Stop/Pause/Run state.
// Graph threads call the IMediaFilter and IBaseFilter methods. stateLock_ serialises state
// changes and guards the pins' connections; the state, the start time and the clock are
// written under stateLock_ and streamLock_ together, so streaming threads, which must not
// wait for a state change, read them under streamLock_ alone (the state also without a
// lock). Derived filters guard their own streaming state with streamLock_. graphLock_
// guards the graph, its event sink and the filter's name. Lock order: state, stream.
#pragma once

#include <windows.h>
#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <mutex>
#include <string>

#include "class_template.h"
#include "unknown.h"

namespace pixora::dshow {

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
 public:
  // setup: the filter's registration record for IAMovieSetup, or null.
  CBaseFilter(IUnknown* outer, REFCLSID clsid, const FilterSetup* setup);
  ~CBaseFilter() override = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    return Owner()->QueryInterface(riid, object);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return Owner()->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return Owner()->Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** object) override;

  STDMETHODIMP GetClassID(CLSID* clsid) override;

  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;

  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;

  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;

  virtual int GetPinCount() = 0;
  virtual CBasePin* GetPin(int index) = 0;
  // Changes when the set of pins changes, so that older enumerators report it.
  LONG PinVersion() const { return pinVersion_.load(); }

  FILTER_STATE State() const { return state_.load(); }
  std::recursive_mutex& StateLock() { return stateLock_; }
  std::mutex& StreamLock() { return streamLock_; }

  // Posts an event to the graph; an EC_COMPLETE without a filter names this one.
  HRESULT NotifyEvent(long code, LONG_PTR param1, LONG_PTR param2);

 protected:
  // Callers hold StateLock() or StreamLock().
  REFERENCE_TIME StartTime() const { return start_; }
  IReferenceClock* Clock() const { return clock_.Get(); }
  void IncrementPinVersion() { ++pinVersion_; }

 private:
  void SetState(FILTER_STATE state);

  std::recursive_mutex stateLock_;
  std::mutex streamLock_;
  std::atomic<FILTER_STATE> state_{State_Stopped};
  REFERENCE_TIME start_ = 0;
  Microsoft::WRL::ComPtr<IReferenceClock> clock_;

  std::mutex graphLock_;
  IFilterGraph* graph_ = nullptr;         // the graph owns the filter, not the reverse
  IMediaEventSink* eventSink_ = nullptr;  // the graph's, as weak as graph_
  std::wstring name_;

  std::atomic<LONG> pinVersion_{1};
  const CLSID clsid_;
  const FilterSetup* const setup_;
};

}  // namespace pixora::dshow
