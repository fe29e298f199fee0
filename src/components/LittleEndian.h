// Explicit little-endian reading and writing of the persisted forms (media-type records,
// moniker blocks): every field is written by its own call, never by copying a struct.
#pragma once

#include <wtypes.h>

#include <QByteArray>
#include <cstdint>

#include "Persistent.h"

namespace vidorra::le {

inline void PutU32(QByteArray& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.append(static_cast<char>((value >> shift) & 0xFF));
}
inline void PutU16(QByteArray& out, uint16_t value) {
  out.append(static_cast<char>(value & 0xFF));
  out.append(static_cast<char>(value >> 8));
}
// The 16-byte GUID layout: Data1, Data2, Data3 little-endian, then the 8 bytes of Data4.
inline void PutGuid(QByteArray& out, const GUID& guid) {
  PutU32(out, guid.Data1);
  PutU16(out, guid.Data2);
  PutU16(out, guid.Data3);
  for (uint8_t b : guid.Data4) out.append(static_cast<char>(b));
}

// Reads fields in order from a byte array; raises EReadError past its end.
class Reader {
 public:
  explicit Reader(const QByteArray& data) : data_(data) {}
  qsizetype Remaining() const { return data_.size() - pos_; }
  qsizetype Position() const { return pos_; }
  uint8_t U8() {
    Need(1);
    return static_cast<uint8_t>(data_[pos_++]);
  }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  uint32_t U32() {
    Need(4);
    uint32_t value = 0;
    for (int shift = 0; shift < 32; shift += 8) value |= static_cast<uint32_t>(U8()) << shift;
    return value;
  }
  GUID Guid() {
    Need(16);
    GUID guid{};
    guid.Data1 = U32();
    guid.Data2 = U16();
    guid.Data3 = U16();
    for (uint8_t& b : guid.Data4) b = U8();
    return guid;
  }
  QByteArray Bytes(qsizetype count) {
    Need(count);
    QByteArray out = data_.mid(pos_, count);
    pos_ += count;
    return out;
  }

 private:
  void Need(qsizetype count) const {
    if (count < 0 || Remaining() < count) {
      throw EReadError(QStringLiteral("Stream read error: the stored value is truncated."));
    }
  }
  const QByteArray& data_;
  qsizetype pos_ = 0;
};

}  // namespace vidorra::le
