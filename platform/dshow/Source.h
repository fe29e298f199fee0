// CSource: a filter whose pins are CSourceStream output pins, each pushing samples from its
// own streaming thread. A derived filter creates its streams in its constructor:
//
//   AddPin(std::make_unique<CMyStream>(this, L"Output"));
//
// The streams' threads start when the filter leaves Stopped and are joined when it stops.
// GetState while Paused answers VFW_S_CANT_CUE when a stream paces itself on the clock
// (waits in WaitForStreamTime): such a source, like a live one, sends nothing before it runs.
#pragma once

#include <memory>
#include <vector>

#include "SourceStream.h"

class CSource : public CBaseFilter {
 public:
  CSource(std::wstring name, REFCLSID clsid);
  ~CSource() override;

  int GetPinCount() override;
  CBasePin* GetPin(int n) override;

  STDMETHODIMP Pause() override;
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State) override;

  // Takes ownership of a stream created with this filter as its owner.
  void AddPin(std::unique_ptr<CSourceStream> stream);
  CSourceStream* Stream(int n) const;

 private:
  std::vector<std::unique_ptr<CSourceStream>> streams_;
};
