// CMediaType and the media type helpers of strmif.h.
#include "MediaType.h"

#include <cstring>
#include <utility>

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat != 0 || mt.pbFormat) {
    CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
  }
  if (mt.pUnk) {
    mt.pUnk->Release();
    mt.pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt) {
  if (!pmt) return;
  FreeMediaType(*pmt);
  CoTaskMemFree(pmt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* pmtTarget, const AM_MEDIA_TYPE* pmtSource) {
  if (!pmtTarget || !pmtSource) return E_POINTER;
  if (pmtTarget == pmtSource) return S_OK;
  *pmtTarget = *pmtSource;
  if (pmtSource->cbFormat != 0 && pmtSource->pbFormat) {
    pmtTarget->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(pmtSource->cbFormat));
    if (!pmtTarget->pbFormat) {
      pmtTarget->cbFormat = 0;
      pmtTarget->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(pmtTarget->pbFormat, pmtSource->pbFormat, pmtSource->cbFormat);
  } else {
    pmtTarget->cbFormat = 0;
    pmtTarget->pbFormat = nullptr;
  }
  if (pmtTarget->pUnk) pmtTarget->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc) {
  if (!pSrc) return nullptr;
  auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!mt) return nullptr;
  if (FAILED(CopyMediaType(mt, pSrc))) {
    CoTaskMemFree(mt);
    return nullptr;
  }
  return mt;
}

namespace {

void InitEmpty(AM_MEDIA_TYPE& mt) {
  std::memset(&mt, 0, sizeof(mt));
  mt.bFixedSizeSamples = TRUE;
  mt.lSampleSize = 1;
}

}  // namespace

CMediaType::CMediaType() { InitEmpty(*this); }

CMediaType::CMediaType(const GUID* type) : CMediaType() {
  if (type) majortype = *type;
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : CMediaType() {
  if (FAILED(CopyMediaType(this, &other))) InitEmpty(*this);
}

CMediaType::CMediaType(const CMediaType& other)
    : CMediaType(static_cast<const AM_MEDIA_TYPE&>(other)) {}

CMediaType::CMediaType(CMediaType&& other) noexcept : CMediaType() { Adopt(other); }

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& other) {
  if (&other == this) return *this;
  CMediaType copy(other);
  Clear();
  Adopt(copy);
  return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& other) {
  return *this = static_cast<const AM_MEDIA_TYPE&>(other);
}

CMediaType& CMediaType::operator=(CMediaType&& other) noexcept {
  if (&other != this) {
    Clear();
    Adopt(other);
  }
  return *this;
}

void CMediaType::Clear() noexcept {
  FreeMediaType(*this);
  InitEmpty(*this);
}

void CMediaType::Adopt(AM_MEDIA_TYPE& other) noexcept {
  FreeMediaType(*this);
  static_cast<AM_MEDIA_TYPE&>(*this) = other;
  InitEmpty(other);
}

bool CMediaType::operator==(const CMediaType& other) const {
  if (majortype != other.majortype || subtype != other.subtype || formattype != other.formattype ||
      cbFormat != other.cbFormat) {
    return false;
  }
  return cbFormat == 0 || std::memcmp(pbFormat, other.pbFormat, cbFormat) == 0;
}

bool CMediaType::MatchesPartial(const CMediaType* partial) const {
  if (!partial) return true;
  if (partial->majortype != GUID_NULL && partial->majortype != majortype) return false;
  if (partial->subtype != GUID_NULL && partial->subtype != subtype) return false;
  if (partial->formattype != GUID_NULL) {
    if (partial->formattype != formattype) return false;
    if (partial->cbFormat != cbFormat) return false;
    if (cbFormat != 0 && std::memcmp(partial->pbFormat, pbFormat, cbFormat) != 0) return false;
  }
  return true;
}

bool CMediaType::IsPartiallySpecified() const {
  return majortype == GUID_NULL || subtype == GUID_NULL;
}

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    SetVariableSize();
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

bool CMediaType::SetFormat(const BYTE* format, ULONG length) {
  BYTE* block = AllocFormatBuffer(length);
  if (length != 0 && !block) return false;
  if (length != 0) std::memcpy(block, format, length);
  return true;
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  ResetFormatBuffer();
  if (length == 0) return nullptr;
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!block) return nullptr;
  std::memset(block, 0, length);
  pbFormat = block;
  cbFormat = length;
  return block;
}

void CMediaType::ResetFormatBuffer() {
  CoTaskMemFree(pbFormat);
  pbFormat = nullptr;
  cbFormat = 0;
}
