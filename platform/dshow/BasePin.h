// CBasePin: a pin of a CBaseFilter, with media-type negotiation.
//
// Connect(receiver, pmt) on an output pin: a fully specified pmt is tried alone; otherwise
// the receiver's media types (EnumMediaTypes) are tried in order, then this pin's own, keeping
// those that match the partial pmt. A type is tried by CheckConnect, CheckMediaType and
// SetMediaType here, then the receiver's ReceiveConnection, then CompleteConnect here; any
// failure undoes the attempt (BreakConnect) and the next type is tried.
//
// Hooks for derived pins:
//   CheckMediaType(mt)   S_OK when the pin accepts mt (required).
//   GetMediaType(i, mt)  the pin's preferred types, i = 0, 1, ...; VFW_S_NO_MORE_ITEMS past
//                        the last (default: none).
//   SetMediaType(mt)     the connection type was chosen (default: stores it).
//   CheckConnect(pin), CompleteConnect(pin), BreakConnect()   connection steps.
//   Active(), Inactive(), Run(tStart)   called by the filter on state changes.
//
// Reference counting: AddRef/Release go to the owning filter; the pin lives as long as it.
// Connection and state changes happen under the filter's lock; connection is refused while
// the filter is active (VFW_E_NOT_STOPPED) unless the pin says it can connect then
// (SetCanConnectWhileActive, for filters that change their connections while paused).
//
// Pin category: SetPinCategory(PIN_CATEGORY_...) makes the pin answer IKsPropertySet for
// AMPROPSETID_Pin / AMPROPERTY_PIN_CATEGORY (read only), as capture graph builders expect.
//
// Name and id: QueryPinInfo gives the name, QueryId and IBaseFilter::FindPin go by the id,
// which is the name unless the filter gives another (Rename, before the pin is handed out).
#pragma once

#include <optional>

#include "BaseFilter.h"

class CBasePin : public IPin, public IKsPropertySet {
 public:
  CBasePin(CBaseFilter* filter, std::wstring name, PIN_DIRECTION direction);
  CBasePin(const CBasePin&) = delete;
  CBasePin& operator=(const CBasePin&) = delete;
  virtual ~CBasePin();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    return NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return filter_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return filter_->Release(); }
  virtual HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv);

  // ---- IPin ----
  STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pPin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
  STDMETHODIMP QueryId(LPWSTR* Id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
  STDMETHODIMP EndOfStream() override = 0;
  STDMETHODIMP BeginFlush() override = 0;
  STDMETHODIMP EndFlush() override = 0;
  STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

  // ---- IKsPropertySet (only answered when a category is set) ----
  STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData) override;
  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  // ---- Hooks ----
  virtual HRESULT CheckMediaType(const CMediaType* mt) = 0;
  virtual HRESULT GetMediaType(int position, CMediaType* mt);
  virtual HRESULT SetMediaType(const CMediaType* mt);
  virtual HRESULT CheckConnect(IPin* pin);
  virtual HRESULT CompleteConnect(IPin* receivePin);
  virtual HRESULT BreakConnect();
  virtual HRESULT Active();
  virtual HRESULT Inactive();
  virtual HRESULT Run(REFERENCE_TIME tStart);

  // ---- Helpers ----
  bool IsConnected() const { return connected_ != nullptr; }
  // The connected pin (no new reference), or null.
  IPin* GetConnected() const { return connected_.Get(); }
  const CMediaType& CurrentMediaType() const { return mt_; }
  PIN_DIRECTION Direction() const { return direction_; }
  const std::wstring& Name() const { return name_; }
  const std::wstring& Id() const { return id_; }
  // Gives the pin another name and id; only while no one holds the pin yet (construction).
  void Rename(std::wstring name, std::wstring id);
  CBaseFilter* Filter() const { return filter_; }
  void SetPinCategory(const GUID& category) { category_ = category; }
  void SetCanConnectWhileActive(bool can) { canConnectWhileActive_ = can; }

 protected:
  // Tries the types in order; S_OK at the first that connects.
  HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types);
  HRESULT AttemptConnection(IPin* receivePin, const CMediaType* mt);

  CBaseFilter* const filter_;
  std::recursive_mutex& lock_;
  std::wstring name_;
  std::wstring id_;
  const PIN_DIRECTION direction_;
  ComPtr<IPin> connected_;
  CMediaType mt_;
  REFERENCE_TIME segmentStart_ = 0;
  REFERENCE_TIME segmentStop_ = 0;
  double segmentRate_ = 1.0;
  std::optional<GUID> category_;
  bool canConnectWhileActive_ = false;
};
