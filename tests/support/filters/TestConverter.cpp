#include "TestConverter.h"

#include <algorithm>
#include <cstring>

namespace vidorra::test {

TestConverter::TestConverter(GUID from, GUID to)
    : CTransformFilter(L"Test Converter", CLSID_TestConverter), from_(from), to_(to) {}

HRESULT TestConverter::CheckInputType(const CMediaType* in) {
  return *in->Type() == MEDIATYPE_Video && *in->Subtype() == from_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TestConverter::CheckTransform(const CMediaType* in, const CMediaType* out) {
  if (CheckInputType(in) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  return *out->Type() == MEDIATYPE_Video && *out->Subtype() == to_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TestConverter::GetMediaType(int position, CMediaType* mt) {
  if (position != 0) return VFW_S_NO_MORE_ITEMS;
  *mt = InputPin()->CurrentMediaType();
  mt->SetSubtype(&to_);
  return S_OK;
}

HRESULT TestConverter::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  const auto bytes = std::max<long>(
      static_cast<long>(OutputPin()->CurrentMediaType().GetSampleSize()), 4);
  return DecideBuffers(allocator, *request, {.buffers = 2, .bytes = bytes});
}

HRESULT TestConverter::Transform(IMediaSample* in, IMediaSample* out) {
  BYTE* source = nullptr;
  BYTE* target = nullptr;
  in->GetPointer(&source);
  out->GetPointer(&target);
  const long length = std::min(in->GetActualDataLength(), out->GetSize());
  std::memcpy(target, source, static_cast<size_t>(length));
  out->SetActualDataLength(length);
  return S_OK;
}

}  // namespace vidorra::test
