// CBaseInputPin: an input pin that receives samples through IMemInputPin.
//
// Receive(sample) in the base class only checks that the pin may take a sample now
// (CheckStreaming): S_FALSE while flushing, VFW_E_WRONG_STATE when the filter is stopped,
// VFW_E_SAMPLE_REJECTED_EOS after end of stream. A derived pin calls it first, then does its
// work. BeginFlush/EndFlush/EndOfStream keep the flags; derived pins forward them downstream.
//
// Threads: Receive and EndOfStream come on the upstream streaming thread; the flags are
// atomic, so they need no lock. The allocator is only changed while the filter is stopped.
#pragma once

#include "BasePin.h"
#include "PinUnknown.h"

class CBaseInputPin : public CBasePin, public IMemInputPin {
 public:
  CBaseInputPin(CBaseFilter* filter, std::wstring name);

  DECLARE_PIN_IUNKNOWN
  HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // ---- IMemInputPin ----
  STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
  STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
  STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
  STDMETHODIMP Receive(IMediaSample* pSample) override;
  STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, long nSamples,
                               long* nSamplesProcessed) override;
  STDMETHODIMP ReceiveCanBlock() override;

  // ---- IPin stream control ----
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;

  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;

  // S_OK when a sample may be received now (see above).
  HRESULT CheckStreaming();
  bool IsFlushing() const { return flushing_.load(); }
  bool IsEndOfStream() const { return endOfStream_.load(); }
  // The upstream pin may deliver the same sample elsewhere: do not write into it.
  bool IsReadOnly() const { return readOnly_; }
  IMemAllocator* Allocator() const { return allocator_.Get(); }

 protected:
  // The allocator GetAllocator offers when the pin has none: a plain memory allocator here; a
  // pin whose filter wants samples in buffers of its own returns that one.
  virtual ComPtr<IMemAllocator> CreateAllocator();

  std::atomic<bool> flushing_{false};
  std::atomic<bool> endOfStream_{false};
  ComPtr<IMemAllocator> allocator_;
  bool readOnly_ = false;
};
