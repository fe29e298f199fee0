// "Null Renderer"; see NullRenderer.h.
#include "NullRenderer.h"

#include <qedit.h>

namespace vidorra::filters {

CNullRenderer::CNullRenderer() : CBaseRenderer(L"Null Renderer", CLSID_NullRenderer) {}

HRESULT CNullRenderer::CheckMediaType(const CMediaType* mt) {
  return mt && mt->IsValid() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CNullRenderer::DoRenderSample(IMediaSample*) { return S_OK; }

namespace {

const FilterRegistration kRegistration({
    .clsid = CLSID_NullRenderer,
    .friendlyName = L"Null Renderer",
    .category = CLSID_LegacyAmFilterCategory,
    .merit = MERIT_DO_NOT_USE,
    .inputTypes = {{GUID_NULL, GUID_NULL}},
    .outputTypes = {},
    .monikerName = {},
    .factory = FilterFactoryFor<CNullRenderer>(),
});

}  // namespace
}  // namespace vidorra::filters
