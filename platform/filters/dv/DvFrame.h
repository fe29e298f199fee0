// Facts about DV (IEC 61834 / SMPTE 314M 25 Mb/s) DIF frames: sizes, the DIF block layout, the
// AAUX and VAUX packs, and a structural check of a frame before anything reads inside it.
// Pure functions on byte spans; no state, any thread.
#pragma once

#include <strmif.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vidorra::dv {

// ---- Frame geometry ---------------------------------------------------------------------------
inline constexpr size_t kDifBlockBytes = 80;
inline constexpr size_t kBlocksPerSequence = 150;
inline constexpr size_t kSequenceBytes = kDifBlockBytes * kBlocksPerSequence;  // 12000
inline constexpr size_t kSequencesPal = 12;
inline constexpr size_t kSequencesNtsc = 10;
inline constexpr size_t kFrameBytesPal = kSequenceBytes * kSequencesPal;    // 144000
inline constexpr size_t kFrameBytesNtsc = kSequenceBytes * kSequencesNtsc;  // 120000
inline constexpr size_t kMaxFrameBytes = kFrameBytesPal;

// Within a sequence: block 0 header, 1-2 subcode, 3-5 VAUX, then 9 x (1 audio + 15 video).
inline constexpr size_t kHeaderBlock = 0;
inline constexpr size_t kFirstSubcodeBlock = 1;
inline constexpr size_t kSubcodeBlocks = 2;
inline constexpr size_t kFirstVauxBlock = 3;
inline constexpr size_t kVauxBlocks = 3;
inline constexpr size_t kAudioBlocksPerSequence = 9;
inline constexpr size_t kFirstAudioBlock = 6;
inline constexpr size_t kAudioBlockStride = 16;  // one audio block, then 15 video blocks
inline constexpr size_t kVideoBlocksPerAudioBlock = 15;
constexpr size_t AudioBlockIndex(size_t j) { return kFirstAudioBlock + kAudioBlockStride * j; }

// Each DIF block starts with a 3-byte ID: SCT (section type) in the top 3 bits of byte 0,
// the DIF sequence number in the top 4 bits of byte 1, the block number in byte 2.
inline constexpr size_t kBlockIdBytes = 3;
enum class Section : uint8_t { kHeader = 0, kSubcode = 1, kVaux = 2, kAudio = 3, kVideo = 4 };
inline constexpr unsigned kSectionShift = 5;
inline constexpr unsigned kSequenceShift = 4;
// Header block byte 3: DSF in bit 7 (1 = 625 lines / 50 fields).
inline constexpr size_t kDsfByte = 3;
inline constexpr uint8_t kDsfBit = 0x80;

// Packs: 5 bytes, pack id then PC1..PC4.
inline constexpr size_t kPackBytes = 5;
inline constexpr size_t kVauxPacksPerBlock = 15;
inline constexpr uint8_t kPackAas = 0x50;   // AAUX source
inline constexpr uint8_t kPackAasc = 0x51;  // AAUX source control
inline constexpr uint8_t kPackVs = 0x60;    // VAUX source
inline constexpr uint8_t kPackVsc = 0x61;   // VAUX source control
inline constexpr uint8_t kPackNone = 0xFF;
// Audio block: 3-byte ID, one AAUX pack, 72 bytes of samples.
inline constexpr size_t kAauxPackOffset = 3;
inline constexpr size_t kAudioDataOffset = kAauxPackOffset + kPackBytes;      // 8
inline constexpr size_t kAudioDataBytes = kDifBlockBytes - kAudioDataOffset;  // 72
// Where the AS and ASC packs stand: audio block 3/4 of even sequences, 0/1 of odd ones.
inline constexpr size_t kAsBlockEven = 3;
inline constexpr size_t kAscBlockEven = 4;
inline constexpr size_t kAsBlockOdd = 0;
inline constexpr size_t kAscBlockOdd = 1;

enum class DvSystem { k525_60, k625_50 };

struct SystemFacts {
  size_t sequences;
  size_t frameBytes;
  int width;
  int height;
  uint32_t rateScale;  // frame rate = rate / scale
  uint32_t rate;
  REFERENCE_TIME avgTimePerFrame;  // 100 ns units
};
inline constexpr SystemFacts kNtscFacts{kSequencesNtsc, kFrameBytesNtsc, 720,   480,
                                        1001,           30000,           333667};
inline constexpr SystemFacts kPalFacts{kSequencesPal, kFrameBytesPal, 720, 576, 1, 25, 400000};
constexpr const SystemFacts& FactsOf(DvSystem s) {
  return s == DvSystem::k625_50 ? kPalFacts : kNtscFacts;
}

// What a frame's structure tells: its system, and how many of its DIF blocks carry an ID (section
// type, sequence number) other than the one the layout puts there. Such blocks are damage (a
// tape dropout, flipped bits): the frame is still a frame, its damaged blocks are not trusted.
struct FrameInspection {
  DvSystem system = DvSystem::k625_50;
  size_t damagedBlocks = 0;
};

// The system of a frame whose structure can be read: a header block first, and the buffer
// exactly the size of a frame of the system that header announces. Anything else (no header,
// truncated, wrong size) answers nullopt; nothing outside frame is read.
std::optional<DvSystem> ReadableFrame(std::span<const uint8_t> frame);

// ReadableFrame, and the damaged blocks counted.
std::optional<FrameInspection> InspectFrame(std::span<const uint8_t> frame);

// True when block `block` of sequence `sequence` carries the ID the layout puts there. The frame
// must be at least that long.
bool BlockIntact(std::span<const uint8_t> frame, size_t sequence, size_t block);

// The system of a frame if the buffer holds a structurally sound DIF frame without damage: the
// size matches the DSF bit and every block's ID is the one the layout puts there. Anything else
// (truncated, wrong size, corrupted block ids) answers nullopt; nothing outside frame is read.
std::optional<DvSystem> CheckFrame(std::span<const uint8_t> frame);

// The system announced by the header block alone (at least one DIF block needed).
std::optional<DvSystem> SystemFromHeader(std::span<const uint8_t> frame);

// Searches the frame's packs for id: VAUX packs in the VAUX blocks, AAUX packs in the audio
// blocks of the first (half = 0) or second (half = 1) half of the sequences. Damaged blocks are
// skipped, and when the copies of the pack (one per sequence) disagree, the value most of them
// carry wins, so that a flipped byte in one copy does not change what the frame says. The frame
// must have passed InspectFrame.
std::optional<std::array<uint8_t, kPackBytes>> FindPack(std::span<const uint8_t> frame,
                                                        DvSystem system, uint8_t id, int half = 0);

// DVINFO from the frame's AAUX/VAUX packs: each DWORD holds PC1..PC4 of the pack, PC1 lowest.
// Missing packs give 0xFFFFFFFF (pack absent). The frame must have passed InspectFrame.
DVINFO DvInfoFromFrame(std::span<const uint8_t> frame, DvSystem system);

}  // namespace vidorra::dv
