// Media-type records and TMediaType with its persisted "data" form.
#include <cstring>

#include "Assert.h"
#include "LittleEndian.h"
#include "MediaUtil.h"

namespace {
// A true BOOL as the stored records hold it.
constexpr BOOL kStoredTrue = -1;
}  // namespace

void CopyMediaTypeRecord(AM_MEDIA_TYPE& dest, const AM_MEDIA_TYPE& src) {
  VIDORRA_ASSERT(&dest != &src, "");
  dest = src;
  // Without a block the source's pointer is not shared: dest owns only what it allocates.
  dest.pbFormat = nullptr;
  if (src.cbFormat > 0) {
    VIDORRA_ASSERT(src.pbFormat != nullptr, "");
    dest.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
    if (dest.pbFormat == nullptr) {
      dest.cbFormat = 0;
    } else {
      std::memcpy(dest.pbFormat, src.pbFormat, src.cbFormat);
    }
  } else {
    dest.cbFormat = 0;
  }
  if (dest.pUnk != nullptr) dest.pUnk->AddRef();
}

void FreeMediaTypeRecord(AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat != 0) {
    CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
  }
  if (mt.pUnk != nullptr) {
    mt.pUnk->Release();
    mt.pUnk = nullptr;
  }
}

TMediaType::TMediaType() {
  record_.bFixedSizeSamples = kStoredTrue;
  record_.lSampleSize = 1;
}

TMediaType::~TMediaType() { FreeMediaTypeRecord(record_); }

std::unique_ptr<TMediaType> TMediaType::CreateForMajorType(const GUID& majorType) {
  auto type = std::make_unique<TMediaType>();
  type->record_.majortype = majorType;
  return type;
}

void TMediaType::SetFormat(const void* data, uint32_t length) {
  ResetFormat();
  if (length == 0 || data == nullptr) return;
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (block == nullptr) return;
  std::memcpy(block, data, length);
  record_.pbFormat = block;
  record_.cbFormat = length;
}

void TMediaType::ResetFormat() {
  if (record_.pbFormat != nullptr) CoTaskMemFree(record_.pbFormat);
  record_.cbFormat = 0;
  record_.pbFormat = nullptr;
}

bool TMediaType::SameAs(const TMediaType* other) const {
  if (other == nullptr) return false;
  const AM_MEDIA_TYPE& a = record_;
  const AM_MEDIA_TYPE& b = other->record_;
  if (a.majortype != b.majortype || a.subtype != b.subtype || a.formattype != b.formattype ||
      a.cbFormat != b.cbFormat) {
    return false;
  }
  return a.cbFormat == 0 || std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

void TMediaType::Assign(const TPersistent& source) {
  if (const auto* type = dynamic_cast<const TMediaType*>(&source)) {
    if (type == this) return;
    FreeMediaTypeRecord(record_);
    CopyMediaTypeRecord(record_, type->record_);
    return;
  }
  TPersistent::Assign(source);
}

void TMediaType::DefineProperties(TFiler& filer) {
  const auto* ancestor = dynamic_cast<const TMediaType*>(filer.Ancestor());
  const bool hasData = ancestor == nullptr || !SameAs(ancestor);
  filer.DefineBinaryProperty(
      QStringLiteral("data"), [this](const QByteArray& value) { ReadData(value); },
      [this] { return WriteData(); }, hasData);
}

QByteArray TMediaType::WriteData() const {
  using namespace vidorra::le;
  QByteArray out;
  out.reserve(static_cast<qsizetype>(kMediaTypeRecordSize + record_.cbFormat));
  PutGuid(out, record_.majortype);                                   // 0: majortype
  PutGuid(out, record_.subtype);                                     // 16: subtype
  PutU32(out, static_cast<uint32_t>(record_.bFixedSizeSamples));     // 32: bFixedSizeSamples
  PutU32(out, static_cast<uint32_t>(record_.bTemporalCompression));  // 36: bTemporalCompression
  PutU32(out, record_.lSampleSize);                                  // 40: lSampleSize
  PutGuid(out, record_.formattype);                                  // 44: formattype
  PutU32(out, 0);                                                    // 60: pUnk slot
  PutU32(out, record_.cbFormat);                                     // 64: cbFormat
  PutU32(out, 0);                                                    // 68: pbFormat slot
  if (record_.cbFormat > 0 && record_.pbFormat != nullptr) {
    out.append(reinterpret_cast<const char*>(record_.pbFormat),
               static_cast<qsizetype>(record_.cbFormat));
  }
  return out;
}

void TMediaType::ReadData(const QByteArray& data) {
  vidorra::le::Reader in(data);
  // Everything is read before the record changes, so a truncated value leaves it as it was.
  AM_MEDIA_TYPE read{};
  read.majortype = in.Guid();
  read.subtype = in.Guid();
  read.bFixedSizeSamples = static_cast<BOOL>(in.U32());
  read.bTemporalCompression = static_cast<BOOL>(in.U32());
  read.lSampleSize = in.U32();
  read.formattype = in.Guid();
  (void)in.U32();  // pUnk slot: no meaning in the stored form
  const uint32_t formatLength = in.U32();
  (void)in.U32();  // pbFormat slot
  const QByteArray block =
      formatLength > 0 ? in.Bytes(static_cast<qsizetype>(formatLength)) : QByteArray();

  ResetFormat();
  if (record_.pUnk != nullptr) {
    record_.pUnk->Release();
    record_.pUnk = nullptr;
  }
  record_ = read;
  record_.cbFormat = 0;
  record_.pbFormat = nullptr;
  SetFormat(block.constData(), formatLength);
}
