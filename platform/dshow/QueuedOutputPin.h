// CQueuedOutputPin: an output pin that can deliver through an OutputQueue, so that a receiver
// that blocks (a renderer waiting for a sample's time or for room in a sound server) holds up
// neither the filter's streaming thread nor its other outputs. Built with `queued` false it
// delivers on the caller's thread, like CBaseOutputPin.
//
// The queue lives while the pin is active (created by Active, ended by Inactive once the
// receiver has stopped: the graph stops filters downstream first). Send* run on the filter's
// streaming thread; queueMutex_ guards the queue against a Send racing the Inactive that ends
// it. A sample sent while the pin is inactive is refused with VFW_E_WRONG_STATE.
#pragma once

#include <memory>
#include <mutex>

#include "BaseOutputPin.h"
#include "OutputQueue.h"

class CQueuedOutputPin : public CBaseOutputPin {
 public:
  CQueuedOutputPin(CBaseFilter* filter, std::wstring name, bool queued = true);

  HRESULT Active() override;
  HRESULT Inactive() override;

  HRESULT SendSample(IMediaSample* sample);
  void SendEndOfStream();
  void SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
  void SendBeginFlush();
  void SendEndFlush();

 private:
  std::shared_ptr<OutputQueue> Queue();

  const bool queued_;
  std::mutex queueMutex_;
  std::shared_ptr<OutputQueue> queue_;  // while active, when queued_
};
