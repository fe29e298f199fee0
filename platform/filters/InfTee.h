// "Infinite Pin Tee Filter" (CLSID_InfTee): one input, any number of outputs, always exactly
// one free output pin. Every connected output receives every sample (the same sample, marked
// read-only for its receivers), end of stream, flushes and segments.
//
// Pins: "Input", then the outputs "Output1", "Output2", ... in creation order. An output that
// is disconnected while another is free is no longer listed; the object stays alive with the
// filter (callers may still hold it) and is listed again when it is needed as the free pin.
//
// Threads: Receive runs on the upstream streaming thread and hands the sample to each output's
// queue (CQueuedOutputPin), whose thread delivers it: a receiver that blocks (a paused renderer
// holding its sample) holds up neither the others nor upstream. The pin list changes only while
// the filter is stopped (connections), under the filter lock.
#pragma once

#include <streams.h>

#include <memory>
#include <mutex>
#include <vector>

namespace vidorra::filters {

class CInfTee;

class CInfTeeInputPin : public CBaseInputPin {
 public:
  explicit CInfTeeInputPin(CInfTee* tee);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT BreakConnect() override;
  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

 private:
  CInfTee* const tee_;
};

class CInfTeeOutputPin : public CQueuedOutputPin {
 public:
  CInfTeeOutputPin(CInfTee* tee, std::wstring name);
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT GetMediaType(int position, CMediaType* mt) override;
  HRESULT CheckConnect(IPin* pin) override;
  HRESULT CompleteConnect(IPin* receivePin) override;
  HRESULT BreakConnect() override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
  // Samples are the input's, shared between outputs: receivers are told they are read-only.
  HRESULT DecideAllocator(IMemInputPin* pin, IMemAllocator** allocator) override;

 private:
  CInfTee* const tee_;
};

class CInfTee : public CBaseFilter {
 public:
  CInfTee();
  ~CInfTee() override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;

  CInfTeeInputPin* InputPin() { return &input_; }
  // Connected outputs, in pin order.
  std::vector<CInfTeeOutputPin*> ConnectedOutputs();
  // Keeps exactly one free output listed (filter lock held).
  void UpdateFreeOutput();

 private:
  CInfTeeInputPin input_;
  std::vector<std::unique_ptr<CInfTeeOutputPin>> outputs_;
  CInfTeeOutputPin* freeOutput_ = nullptr;
};

}  // namespace vidorra::filters
