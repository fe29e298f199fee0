// CBaseOutputPin: an output pin that delivers samples to an IMemInputPin.
//
// On connection (CompleteConnect) it negotiates the allocator: the receiver's requirements
// (GetAllocatorRequirements) and its allocator (GetAllocator) come first, the DecideBufferSize
// hook sets the buffer count and size on it, and the receiver is told (NotifyAllocator); when
// the receiver's allocator refuses, the pin's own CMemAllocator is used. Active() commits the
// allocator and Inactive() decommits it, which releases a thread blocked in GetDeliveryBuffer.
//
// Streaming (on the filter's streaming thread): GetDeliveryBuffer, Deliver, and
// DeliverEndOfStream / DeliverBeginFlush / DeliverEndFlush / DeliverNewSegment forward to the
// connected pin. The connection cannot change while the filter is active.
#pragma once

#include "BasePin.h"

class CBaseOutputPin : public CBasePin {
 public:
  CBaseOutputPin(CBaseFilter* filter, std::wstring name);

  // ---- Hook ----
  // Sets the buffer count and size on `allocator`; `request` holds the receiver's wishes
  // (cBuffers, cbBuffer, cbAlign may be 0).
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;

  // ---- Allocator negotiation (overridable) ----
  virtual HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator);
  virtual HRESULT InitAllocator(IMemAllocator** allocator);
  // Whether the receiver is told (NotifyAllocator) that the samples are read-only: they may be
  // shared with another branch, and an in-place receiver must copy before it writes.
  virtual bool SamplesReadOnly() const { return false; }

  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // An output pin receives no stream control: these answer E_UNEXPECTED.
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  // ---- Streaming ----
  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                            DWORD flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  IMemAllocator* Allocator() const { return allocator_.Get(); }

 protected:
  ComPtr<IMemAllocator> allocator_;
  ComPtr<IMemInputPin> inputPin_;
};
