// A pin: connection, media type agreement and pin identity. Graph threads call the IPin
// methods; the owning filter's state lock guards the connection and its media type.
// Reference counts are the filter's: a pin lives exactly as long as its filter.
#pragma once

#include <strmif.h>
#include <wrl/client.h>

#include <atomic>
#include <string>

#include "media_type.h"
#include "module_state.h"

namespace pixora::dshow {

class CBaseFilter;

class CBasePin : public IPin, public IQualityControl, private CBaseObject {
 public:
  CBasePin(CBaseFilter* filter, const wchar_t* name, PIN_DIRECTION direction);
  virtual ~CBasePin() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;
  STDMETHODIMP SetSink(IQualityControl* sink) override;

  // S_OK when the pin takes the type, a failure otherwise.
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
  // The pin's preferred types: S_OK, or VFW_S_NO_MORE_ITEMS past the last. None here.
  virtual HRESULT GetMediaType(int position, AM_MEDIA_TYPE* type);
  LONG MediaTypeVersion() const { return mediaTypeVersion_.load(); }

  // Steps of a connection, with the filter's state lock held.
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
  virtual HRESULT CompleteConnect(IPin* receivePin);
  virtual HRESULT BreakConnect();

  // State changes of the filter, with its state lock held, for connected pins only.
  virtual HRESULT Active() { return S_OK; }
  virtual HRESULT Inactive() { return S_OK; }
  virtual HRESULT Run(REFERENCE_TIME) { return S_OK; }

  bool IsConnected() const;
  const wchar_t* Name() const { return name_.c_str(); }
  CBaseFilter* Filter() const { return filter_; }
  // The quality sink set through SetSink, or null (a weak pointer, as COM has it).
  IQualityControl* QualitySink() const { return qualitySink_.load(); }

 protected:
  // Derived pins answer their own interfaces here first.
  virtual HRESULT QueryPinInterface(REFIID riid, void** object);
  // The connected pin, or null; the caller holds the filter's state lock.
  IPin* ConnectedLocked() const { return connected_.Get(); }
  const AM_MEDIA_TYPE& ConnectionTypeLocked() const { return type_.Get(); }

 private:
  HRESULT AgreeMediaType(IPin* receivePin, const AM_MEDIA_TYPE* partial);
  HRESULT TryMediaTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
  HRESULT AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE& type);
  void DropConnection();

  CBaseFilter* const filter_;  // owns this pin
  const std::wstring name_;
  const PIN_DIRECTION direction_;
  Microsoft::WRL::ComPtr<IPin> connected_;
  MediaType type_;
  std::atomic<IQualityControl*> qualitySink_{nullptr};
  std::atomic<LONG> mediaTypeVersion_{1};
};

}  // namespace pixora::dshow
