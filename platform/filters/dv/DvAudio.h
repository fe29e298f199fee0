// Sound in DV frames: reading the AAUX source pack, extracting PCM from the audio DIF blocks
// (16-bit linear 48/44.1/32 kHz, 12-bit nonlinear 32 kHz, locked or unlocked: the sample count
// is read from every frame's AF_SIZE), and the inverse (writing PCM and its AAUX packs into a
// frame), used by the simulated camcorder and the tests to make real DV frames with sound.
//
// A frame whose structure cannot be read or that announces an impossible sound format is
// rejected; the samples of damaged audio blocks are muted. No read or write leaves the frame's
// bytes. Pure functions, any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "DvFrame.h"

namespace vidorra::dv {

// AAUX source pack fields (PC1..PC4 = bytes 1..4 of the pack).
namespace aas {
inline constexpr uint8_t kAfSizeMask = 0x3F;     // PC1
inline constexpr uint8_t kLockedFlagBit = 0x80;  // PC1: LF, 1 = unlocked
inline constexpr uint8_t kPc1Reserved = 0x40;
inline constexpr unsigned kChnShift = 5;  // PC2
inline constexpr uint8_t kChnMask = 0x3;
inline constexpr uint8_t kAudioModeMask = 0x0F;
inline constexpr uint8_t kAudioModeNone = 0x0F;
inline constexpr uint8_t kPc3Reserved = 0x80;  // PC3
inline constexpr uint8_t k50FieldsBit = 0x20;
inline constexpr uint8_t kStypeMask = 0x1F;
inline constexpr unsigned kSmpShift = 3;  // PC4
inline constexpr uint8_t kSmpMask = 0x7;
inline constexpr uint8_t kQuMask = 0x7;
inline constexpr uint8_t kQu16Linear = 0;
inline constexpr uint8_t kQu12Nonlinear = 1;
}  // namespace aas

// Sample-rate codes (SMP) and the minimum samples per frame for each (AF_SIZE adds to it).
struct RateFacts {
  int sampleRate;
  int minSamples50;
  int minSamples60;
};
inline constexpr RateFacts kRateFacts[] = {
    {48000, 1896, 1580}, {44100, 1742, 1452}, {32000, 1264, 1053}};
inline constexpr int kMaxAfSize = 63;

// Bytes per sample position and positions per audio block.
inline constexpr int kSamples16PerBlock = 36;  // 72 bytes / 2
inline constexpr int kPairs12PerBlock = 24;    // 72 bytes / 3, two samples per triplet
inline constexpr uint16_t kError16 = 0x8000;
inline constexpr uint16_t kError12 = 0x800;

struct DvAudioFormat {
  int sampleRate = 48000;
  int bits = 16;  // 16 linear or 12 nonlinear
  int pairs = 1;  // stereo pairs in the frame (12-bit: up to 2)
  bool locked = true;
  int samplesPerFrame = 0;  // per channel, this frame
};

struct DvAudioFrame {
  DvAudioFormat format;
  // One interleaved stereo buffer (L R L R ...) per pair.
  std::vector<int16_t> pcm[2];
  size_t mutedSamples = 0;  // error samples and samples of damaged blocks, replaced by silence
};

// Sound format of a frame from its AAUX source packs, or nullopt when the frame has no sound or
// its pack announces something impossible. The frame must have passed InspectFrame.
std::optional<DvAudioFormat> ReadAudioFormat(std::span<const uint8_t> frame, DvSystem system);

// Inspects the frame and extracts its sound, muting the samples of damaged audio blocks;
// nullopt for a frame whose structure cannot be read or that has no sound.
std::optional<DvAudioFrame> ExtractAudio(std::span<const uint8_t> frame);

// Samples per frame for locked sound at sampleRate, for the frameIndex-th frame of a stream
// (48 kHz on 525/60 cycles 1600, 1602, 1602, 1602, 1602).
int LockedSamplesForFrame(DvSystem system, int sampleRate, uint64_t frameIndex);

// Writes sound into a frame that passed CheckFrame: AAUX source and source-control packs in
// every sequence, then the samples of each pair (interleaved stereo, samplesPerFrame frames
// each) at their shuffled positions. Returns false (frame untouched) if the format cannot be
// carried (rate, bits, sample count out of range, missing pair).
bool InsertAudio(std::span<uint8_t> frame, DvSystem system, const DvAudioFormat& format,
                 std::span<const int16_t> pair0, std::span<const int16_t> pair1 = {});

// IEC 61834-2 nonlinear 12-bit code <-> 16-bit linear sample.
int16_t Expand12To16(uint16_t code12);
uint16_t Compress16To12(int16_t sample);

}  // namespace vidorra::dv
