// DecideBuffers; see AllocatorBuffers.h.
#include "AllocatorBuffers.h"

#include <algorithm>

HRESULT DecideBuffers(IMemAllocator* allocator, const ALLOCATOR_PROPERTIES& request,
                      const BufferNeeds& needs) {
  if (!allocator) return E_POINTER;
  ALLOCATOR_PROPERTIES wanted = request;
  wanted.cBuffers = std::max({wanted.cBuffers, needs.buffers, 1L});
  wanted.cbBuffer = std::max({wanted.cbBuffer, needs.bytes, 1L});
  wanted.cbAlign = std::max({wanted.cbAlign, needs.align, 1L});
  wanted.cbPrefix = std::max(wanted.cbPrefix, 0L);
  ALLOCATOR_PROPERTIES actual{};
  const HRESULT hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer >= needs.bytes ? S_OK : E_FAIL;
}
