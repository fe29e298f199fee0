#include "TestPassThrough.h"

namespace vidorra::test {

TestPassThrough::TestPassThrough(int failAtSample)
    : CTransInPlaceFilter(L"Test Pass Through", CLSID_TestPassThrough),
      failAtSample_(failAtSample) {}

HRESULT TestPassThrough::CheckInputType(const CMediaType* in) {
  return in->IsValid() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TestPassThrough::Transform(IMediaSample* /*sample*/) {
  return count_.fetch_add(1) == failAtSample_ ? E_FAIL : S_OK;
}

}  // namespace vidorra::test
