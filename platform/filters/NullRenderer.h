// "Null Renderer" (CLSID_NullRenderer): one input pin that accepts any media type and discards
// every sample once its presentation time comes (the base renderer paces it on the graph
// clock and sends EC_COMPLETE at end of stream).
#pragma once

#include <streams.h>

namespace vidorra::filters {

class CNullRenderer : public CBaseRenderer {
 public:
  CNullRenderer();
  HRESULT CheckMediaType(const CMediaType* mt) override;
  HRESULT DoRenderSample(IMediaSample* sample) override;
};

}  // namespace vidorra::filters
