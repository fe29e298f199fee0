// CMediaType: an AM_MEDIA_TYPE that owns its format block and its pUnk reference.
//
// Copying makes a deep copy (new format block, new pUnk reference); destruction frees both.
// The class adds no data members, so a CMediaType* may be passed wherever the SDK expects an
// AM_MEDIA_TYPE*. Not thread-safe: one owner at a time.
#pragma once

#include <objbase.h>
#include <strmif.h>

class CMediaType : public AM_MEDIA_TYPE {
 public:
  // An empty type: every GUID null, no format, fixed-size samples of size 1.
  CMediaType();
  explicit CMediaType(const GUID* majortype);
  CMediaType(const AM_MEDIA_TYPE& other);
  CMediaType(const CMediaType& other);
  CMediaType(CMediaType&& other) noexcept;
  ~CMediaType();

  CMediaType& operator=(const AM_MEDIA_TYPE& other);
  CMediaType& operator=(const CMediaType& other);
  CMediaType& operator=(CMediaType&& other) noexcept;

  // Equal when major type, subtype, format type and format bytes are equal (the sample size
  // flags are advisory and not compared).
  bool operator==(const CMediaType& other) const;
  bool operator!=(const CMediaType& other) const { return !(*this == other); }

  // True when every field that `partial` specifies (non-null GUIDs, a format block when its
  // format type is given) equals ours: GUID_NULL in `partial` is a wildcard.
  bool MatchesPartial(const CMediaType* partial) const;
  // True when the major type or subtype is GUID_NULL.
  bool IsPartiallySpecified() const;
  // True when the major type is set.
  bool IsValid() const { return majortype != GUID_NULL; }

  const GUID* Type() const { return &majortype; }
  void SetType(const GUID* type) { majortype = *type; }
  const GUID* Subtype() const { return &subtype; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  const GUID* FormatType() const { return &formattype; }
  void SetFormatType(const GUID* type) { formattype = *type; }
  BOOL IsFixedSize() const { return bFixedSizeSamples; }
  BOOL IsTemporalCompressed() const { return bTemporalCompression; }
  ULONG GetSampleSize() const { return bFixedSizeSamples ? lSampleSize : 0; }
  void SetSampleSize(ULONG size);
  void SetVariableSize() { bFixedSizeSamples = FALSE; }
  void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }
  // Replaces the format block with a copy of `format`; false when out of memory.
  bool SetFormat(const BYTE* format, ULONG length);
  // Replaces the format block with `length` zeroed bytes and returns it (null on failure).
  BYTE* AllocFormatBuffer(ULONG length);
  // Frees the format block (the format type is kept).
  void ResetFormatBuffer();

  // Takes over the content of `other`, which is left empty; used to adopt a type that an
  // enumerator allocated.
  void Adopt(AM_MEDIA_TYPE& other) noexcept;

 private:
  void Clear() noexcept;
};
