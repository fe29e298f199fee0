// Byte layout of the RIFF/AVI and OpenDML structures this platform writes and reads: chunk
// identifiers, flag values and the offset of every header field, plus little-endian helpers.
// Headers are always written field by field from these offsets, never by copying a struct, so
// the files do not depend on the compiler's layout or the host's pointer size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vidorra::avi {

constexpr uint32_t Fourcc(const char (&s)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

// Chunk and list identifiers.
inline constexpr uint32_t kFccRiff = Fourcc("RIFF");
inline constexpr uint32_t kFccList = Fourcc("LIST");
inline constexpr uint32_t kFccAvi = Fourcc("AVI ");
inline constexpr uint32_t kFccAvix = Fourcc("AVIX");
inline constexpr uint32_t kFccHdrl = Fourcc("hdrl");
inline constexpr uint32_t kFccAvih = Fourcc("avih");
inline constexpr uint32_t kFccStrl = Fourcc("strl");
inline constexpr uint32_t kFccStrh = Fourcc("strh");
inline constexpr uint32_t kFccStrf = Fourcc("strf");
inline constexpr uint32_t kFccStrn = Fourcc("strn");
inline constexpr uint32_t kFccIndx = Fourcc("indx");
inline constexpr uint32_t kFccOdml = Fourcc("odml");
inline constexpr uint32_t kFccDmlh = Fourcc("dmlh");
inline constexpr uint32_t kFccMovi = Fourcc("movi");
inline constexpr uint32_t kFccIdx1 = Fourcc("idx1");
inline constexpr uint32_t kFccJunk = Fourcc("JUNK");
inline constexpr uint32_t kFccRec = Fourcc("rec ");
inline constexpr uint32_t kFccInfo = Fourcc("INFO");
inline constexpr uint32_t kFccIdit = Fourcc("IDIT");
inline constexpr uint32_t kFccIcrd = Fourcc("ICRD");

// Stream types and handlers.
inline constexpr uint32_t kFccVids = Fourcc("vids");
inline constexpr uint32_t kFccAuds = Fourcc("auds");
inline constexpr uint32_t kFccIavs = Fourcc("iavs");
inline constexpr uint32_t kFccDvsd = Fourcc("dvsd");

// Chunk header: FOURCC then 32-bit size; data padded to an even count.
inline constexpr size_t kChunkHeaderBytes = 8;
// LIST/RIFF header: FOURCC, size, list type.
inline constexpr size_t kListHeaderBytes = 12;

// avih (AVIMAINHEADER) field offsets within the chunk data.
namespace avih {
inline constexpr size_t kMicroSecPerFrame = 0;
inline constexpr size_t kMaxBytesPerSec = 4;
inline constexpr size_t kPaddingGranularity = 8;
inline constexpr size_t kFlags = 12;
inline constexpr size_t kTotalFrames = 16;
inline constexpr size_t kInitialFrames = 20;
inline constexpr size_t kStreams = 24;
inline constexpr size_t kSuggestedBufferSize = 28;
inline constexpr size_t kWidth = 32;
inline constexpr size_t kHeight = 36;
inline constexpr size_t kReserved = 40;
inline constexpr size_t kBytes = 56;

inline constexpr uint32_t kFlagHasIndex = 0x10;
inline constexpr uint32_t kFlagMustUseIndex = 0x20;
inline constexpr uint32_t kFlagIsInterleaved = 0x100;
inline constexpr uint32_t kFlagTrustCkType = 0x800;
inline constexpr uint32_t kFlagWasCaptureFile = 0x10000;
}  // namespace avih

// strh (AVISTREAMHEADER) field offsets.
namespace strh {
inline constexpr size_t kType = 0;
inline constexpr size_t kHandler = 4;
inline constexpr size_t kFlags = 8;
inline constexpr size_t kPriority = 12;
inline constexpr size_t kLanguage = 14;
inline constexpr size_t kInitialFrames = 16;
inline constexpr size_t kScale = 20;
inline constexpr size_t kRate = 24;
inline constexpr size_t kStart = 28;
inline constexpr size_t kLength = 32;
inline constexpr size_t kSuggestedBufferSize = 36;
inline constexpr size_t kQuality = 40;
inline constexpr size_t kSampleSize = 44;
inline constexpr size_t kFrameLeft = 48;
inline constexpr size_t kFrameTop = 50;
inline constexpr size_t kFrameRight = 52;
inline constexpr size_t kFrameBottom = 54;
inline constexpr size_t kBytes = 56;

inline constexpr uint32_t kDefaultQuality = 0xFFFFFFFFu;
}  // namespace strh

// BITMAPINFOHEADER field offsets (strf of a video stream).
namespace bih {
inline constexpr size_t kSize = 0;
inline constexpr size_t kWidth = 4;
inline constexpr size_t kHeight = 8;
inline constexpr size_t kPlanes = 12;
inline constexpr size_t kBitCount = 14;
inline constexpr size_t kCompression = 16;
inline constexpr size_t kSizeImage = 20;
inline constexpr size_t kXPelsPerMeter = 24;
inline constexpr size_t kYPelsPerMeter = 28;
inline constexpr size_t kClrUsed = 32;
inline constexpr size_t kClrImportant = 36;
inline constexpr size_t kBytes = 40;
}  // namespace bih

// WAVEFORMATEX field offsets (strf of an audio stream).
namespace wfx {
inline constexpr size_t kFormatTag = 0;
inline constexpr size_t kChannels = 2;
inline constexpr size_t kSamplesPerSec = 4;
inline constexpr size_t kAvgBytesPerSec = 8;
inline constexpr size_t kBlockAlign = 12;
inline constexpr size_t kBitsPerSample = 14;
inline constexpr size_t kCbSize = 16;
inline constexpr size_t kBytes = 18;
}  // namespace wfx

// DVINFO field offsets (strf of a type-1 'iavs' stream).
namespace dvinfo {
inline constexpr size_t kAAuxSrc = 0;
inline constexpr size_t kAAuxCtl = 4;
inline constexpr size_t kAAuxSrc1 = 8;
inline constexpr size_t kAAuxCtl1 = 12;
inline constexpr size_t kVAuxSrc = 16;
inline constexpr size_t kVAuxCtl = 20;
inline constexpr size_t kReserved = 24;
inline constexpr size_t kBytes = 32;
}  // namespace dvinfo

// OpenDML super index ('indx') and standard index ('ix##').
namespace odml {
inline constexpr size_t kLongsPerEntry = 0;  // WORD
inline constexpr size_t kIndexSubType = 2;   // BYTE
inline constexpr size_t kIndexType = 3;      // BYTE
inline constexpr size_t kEntriesInUse = 4;
inline constexpr size_t kChunkId = 8;
inline constexpr size_t kSuperReserved = 12;  // 3 DWORDs
inline constexpr size_t kSuperHeaderBytes = 24;
inline constexpr size_t kSuperEntryBytes = 16;  // qwOffset, dwSize, dwDuration
inline constexpr size_t kSuperEntryOffset = 0;
inline constexpr size_t kSuperEntrySize = 8;
inline constexpr size_t kSuperEntryDuration = 12;
inline constexpr uint16_t kSuperLongsPerEntry = 4;
inline constexpr size_t kBaseOffset = 12;  // standard index: QWORD
inline constexpr size_t kStdReserved = 20;
inline constexpr size_t kStdHeaderBytes = 24;
inline constexpr size_t kStdEntryBytes = 8;  // dwOffset, dwSize
inline constexpr size_t kStdEntryOffset = 0;
inline constexpr size_t kStdEntrySize = 4;
inline constexpr uint16_t kStdLongsPerEntry = 2;
inline constexpr uint8_t kIndexOfIndexes = 0;
inline constexpr uint8_t kIndexOfChunks = 1;
inline constexpr uint32_t kDeltaFrameBit = 0x80000000u;
// Space reserved for each stream's super index, as the system mux reserves it.
inline constexpr size_t kIndxReservedBytes = 0x3FF8;
inline constexpr size_t kIndxCapacity = (kIndxReservedBytes - kSuperHeaderBytes) / kSuperEntryBytes;
// dmlh: dwGrandFrames then 61 reserved DWORDs.
inline constexpr size_t kDmlhGrandFrames = 0;
inline constexpr size_t kDmlhBytes = 248;
}  // namespace odml

// idx1 entries.
namespace idx1 {
inline constexpr size_t kChunkId = 0;
inline constexpr size_t kFlags = 4;
inline constexpr size_t kOffset = 8;
inline constexpr size_t kSize = 12;
inline constexpr size_t kEntryBytes = 16;
inline constexpr uint32_t kFlagList = 0x1;
inline constexpr uint32_t kFlagKeyframe = 0x10;
inline constexpr uint32_t kFlagNoTime = 0x100;
}  // namespace idx1

// Two-character stream number and two-character kind make a chunk id ("00dc", "01wb", "ix00").
constexpr uint32_t StreamChunkId(unsigned stream, const char (&kind)[3]) {
  return static_cast<uint32_t>('0' + (stream / 10) % 10) |
         (static_cast<uint32_t>('0' + stream % 10) << 8) |
         (static_cast<uint32_t>(static_cast<uint8_t>(kind[0])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(kind[1])) << 24);
}
constexpr uint32_t StandardIndexId(unsigned stream) {
  return static_cast<uint32_t>('i') | (static_cast<uint32_t>('x') << 8) |
         (static_cast<uint32_t>('0' + (stream / 10) % 10) << 16) |
         (static_cast<uint32_t>('0' + stream % 10) << 24);
}

// Little-endian access to byte buffers. Callers guarantee the range is inside the buffer.
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutU64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t GetU64(const uint8_t* p) {
  return static_cast<uint64_t>(GetU32(p)) | (static_cast<uint64_t>(GetU32(p + 4)) << 32);
}

// Size of a chunk on disk: header, data, pad byte to an even count.
constexpr uint64_t PaddedChunkBytes(uint64_t dataBytes) {
  return kChunkHeaderBytes + dataBytes + (dataBytes & 1);
}

}  // namespace vidorra::avi
