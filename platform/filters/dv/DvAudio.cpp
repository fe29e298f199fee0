#include "DvAudio.h"

#include <algorithm>
#include <array>

namespace vidorra::dv {

namespace {

// Position of the n-th sample (16-bit) or sample pair (12-bit) of a channel group within its
// half of the frame: the standard's shuffle spreads consecutive samples over sequences and
// audio blocks so that a lost block costs isolated samples, not a burst.
struct Position {
  size_t sequence;  // within the half
  size_t block;     // audio block 0..8
  size_t slot;      // sample slot within the block
};

Position Shuffle(DvSystem system, size_t n) {
  const size_t halfSequences = FactsOf(system).sequences / 2;      // 6 or 5
  const size_t perSlot = kAudioBlocksPerSequence * halfSequences;  // 54 or 45
  const size_t blockGroup = perSlot / 3;                           // 18 or 15
  Position p;
  p.sequence = (n / 3 + 2 * (n % 3)) % halfSequences;
  p.block = 3 * (n % 3) + (n % perSlot) / blockGroup;
  p.slot = n / perSlot;
  return p;
}

size_t AudioDataOffset(DvSystem system, size_t half, const Position& p) {
  const size_t sequence = half * (FactsOf(system).sequences / 2) + p.sequence;
  return sequence * kSequenceBytes + AudioBlockIndex(p.block) * kDifBlockBytes + kAudioDataOffset;
}

// Where each sample n of a channel group lies, worked out once per system: the shuffle's
// divisions cost more than the extraction itself when done per sample.
struct Placement {
  uint32_t offset;  // of the sample's audio data in the first half, before the slot
  uint16_t slot;
  uint16_t block;   // sequence within the half * kAudioBlocksPerSequence + audio block
};

int MinSamples(DvSystem system, int smp) {
  return system == DvSystem::k625_50 ? kRateFacts[smp].minSamples50 : kRateFacts[smp].minSamples60;
}

int CapacityPerChannel(DvSystem system, int bits) {
  const int perBlock = bits == 16 ? kSamples16PerBlock : kPairs12PerBlock;
  return perBlock * static_cast<int>(kAudioBlocksPerSequence * FactsOf(system).sequences / 2);
}

std::span<const Placement> PlacementsOf(DvSystem system) {
  static const auto make = [](DvSystem s) {
    std::vector<Placement> table(
        static_cast<size_t>(std::max(CapacityPerChannel(s, 16), CapacityPerChannel(s, 12))));
    for (size_t n = 0; n < table.size(); ++n) {
      const Position p = Shuffle(s, n);
      table[n] = {static_cast<uint32_t>(AudioDataOffset(s, 0, p)), static_cast<uint16_t>(p.slot),
                  static_cast<uint16_t>(p.sequence * kAudioBlocksPerSequence + p.block)};
    }
    return table;
  };
  static const std::vector<Placement> pal = make(DvSystem::k625_50);
  static const std::vector<Placement> ntsc = make(DvSystem::k525_60);
  return system == DvSystem::k625_50 ? pal : ntsc;
}

std::optional<int> SmpOfRate(int sampleRate) {
  for (int i = 0; i < static_cast<int>(std::size(kRateFacts)); ++i) {
    if (kRateFacts[i].sampleRate == sampleRate) return i;
  }
  return std::nullopt;
}

// 12-bit nonlinear segments: codes 0..511 are linear, then each 256 codes double the step.
constexpr int kSegmentCodes = 256;
constexpr int kLinearCodes = 512;
constexpr int kMaxSegment = 7;
constexpr int kMax12 = 2047;

int ExpandPositive(int code) {
  const int segment = code / kSegmentCodes;
  if (segment < 2) return code;
  const int shift = segment - 1;
  return (code - kSegmentCodes * shift) << shift;
}

int CompressPositive(int x) {
  if (x < kLinearCodes) return x;
  int segment = 2;
  while (segment < kMaxSegment && x >= (kLinearCodes << (segment - 1))) ++segment;
  const int shift = segment - 1;
  return std::min((x >> shift) + kSegmentCodes * shift, kMax12);
}

}  // namespace

int16_t Expand12To16(uint16_t code12) {
  int value = code12 & 0xFFF;
  if (value & 0x800) value -= 0x1000;  // sign-extend
  const int x = value >= 0 ? ExpandPositive(value) : ~ExpandPositive(~value);
  return static_cast<int16_t>(x);
}

uint16_t Compress16To12(int16_t sample) {
  const int x = sample;
  const int code = x >= 0 ? CompressPositive(x) : ~CompressPositive(~x);
  return static_cast<uint16_t>(code & 0xFFF);
}

std::optional<DvAudioFormat> ReadAudioFormat(std::span<const uint8_t> frame, DvSystem system) {
  const auto as = FindPack(frame, system, kPackAas, 0);
  if (!as) return std::nullopt;
  const uint8_t pc1 = (*as)[1], pc2 = (*as)[2], pc4 = (*as)[4];
  const int smp = (pc4 >> aas::kSmpShift) & aas::kSmpMask;
  const int qu = pc4 & aas::kQuMask;
  if (smp >= static_cast<int>(std::size(kRateFacts))) return std::nullopt;
  if ((pc2 & aas::kAudioModeMask) == aas::kAudioModeNone) return std::nullopt;
  DvAudioFormat f;
  f.sampleRate = kRateFacts[smp].sampleRate;
  if (qu == aas::kQu16Linear) {
    f.bits = 16;
  } else if (qu == aas::kQu12Nonlinear && f.sampleRate == 32000) {
    f.bits = 12;
  } else {
    return std::nullopt;
  }
  f.locked = (pc1 & aas::kLockedFlagBit) == 0;
  f.samplesPerFrame = MinSamples(system, smp) + (pc1 & aas::kAfSizeMask);
  if (f.samplesPerFrame > CapacityPerChannel(system, f.bits)) return std::nullopt;
  f.pairs = 1;
  if (f.bits == 12) {
    const auto as1 = FindPack(frame, system, kPackAas, 1);
    if (as1 && ((*as1)[2] & aas::kAudioModeMask) != aas::kAudioModeNone) f.pairs = 2;
  }
  return f;
}

std::optional<DvAudioFrame> ExtractAudio(std::span<const uint8_t> frame) {
  const auto readable = ReadableFrame(frame);
  if (!readable) return std::nullopt;
  const DvSystem system = *readable;
  const auto format = ReadAudioFormat(frame, system);
  if (!format) return std::nullopt;
  DvAudioFrame out;
  out.format = *format;
  // Samples of an audio block whose ID is damaged are not trusted: they are muted.
  std::array<bool, kSequencesPal * kAudioBlocksPerSequence> intact{};
  const size_t halfSequences = FactsOf(system).sequences / 2;
  for (size_t seq = 0; seq < 2 * halfSequences; ++seq) {
    for (size_t j = 0; j < kAudioBlocksPerSequence; ++j) {
      intact[seq * kAudioBlocksPerSequence + j] = BlockIntact(frame, seq, AudioBlockIndex(j));
    }
  }
  const size_t halfBytes = halfSequences * kSequenceBytes;
  const size_t halfBlocks = halfSequences * kAudioBlocksPerSequence;
  const std::span<const Placement> placements = PlacementsOf(system);
  const size_t count = static_cast<size_t>(format->samplesPerFrame);
  if (format->bits == 16) {
    // Left channel in the first half of the sequences, right in the second.
    std::vector<int16_t>& pcm = out.pcm[0];
    pcm.resize(count * 2);
    for (size_t ch = 0; ch < 2; ++ch) {
      const uint8_t* half = frame.data() + ch * halfBytes;
      const bool* halfIntact = intact.data() + ch * halfBlocks;
      for (size_t n = 0; n < count; ++n) {
        const Placement& p = placements[n];
        const uint8_t* s = half + p.offset + 2 * size_t{p.slot};
        const uint16_t raw = static_cast<uint16_t>((s[0] << 8) | s[1]);
        const bool muted = raw == kError16 || !halfIntact[p.block];
        if (muted) ++out.mutedSamples;
        pcm[2 * n + ch] = muted ? 0 : static_cast<int16_t>(raw);
      }
    }
    return out;
  }
  // 12-bit: channels 1/2 in the first half, 3/4 in the second; three bytes carry two samples.
  for (size_t pair = 0; pair < static_cast<size_t>(format->pairs); ++pair) {
    std::vector<int16_t>& pcm = out.pcm[pair];
    pcm.resize(count * 2);
    const uint8_t* half = frame.data() + pair * halfBytes;
    const bool* halfIntact = intact.data() + pair * halfBlocks;
    for (size_t n = 0; n < count; ++n) {
      const Placement& p = placements[n];
      const uint8_t* s = half + p.offset + 3 * size_t{p.slot};
      const bool damaged = !halfIntact[p.block];
      const uint16_t left = static_cast<uint16_t>((s[0] << 4) | (s[2] >> 4));
      const uint16_t right = static_cast<uint16_t>((s[1] << 4) | (s[2] & 0x0F));
      const bool muteLeft = damaged || left == kError12;
      const bool muteRight = damaged || right == kError12;
      out.mutedSamples += muteLeft + muteRight;
      pcm[2 * n] = muteLeft ? 0 : Expand12To16(left);
      pcm[2 * n + 1] = muteRight ? 0 : Expand12To16(right);
    }
  }
  return out;
}

int LockedSamplesForFrame(DvSystem system, int sampleRate, uint64_t frameIndex) {
  constexpr int kNtsc48kCycle[] = {1600, 1602, 1602, 1602, 1602};
  if (system == DvSystem::k625_50) return sampleRate / 25;
  if (sampleRate == 48000) return kNtsc48kCycle[frameIndex % std::size(kNtsc48kCycle)];
  // 525/60 at 30000/1001 frames/s: spread the fraction evenly over the frames.
  const auto total = [&](uint64_t frames) {
    return frames * static_cast<uint64_t>(sampleRate) * kNtscFacts.rateScale / kNtscFacts.rate;
  };
  return static_cast<int>(total(frameIndex + 1) - total(frameIndex));
}

bool InsertAudio(std::span<uint8_t> frame, DvSystem system, const DvAudioFormat& format,
                 std::span<const int16_t> pair0, std::span<const int16_t> pair1) {
  const auto smp = SmpOfRate(format.sampleRate);
  if (!smp) return false;
  if (format.bits != 16 && !(format.bits == 12 && format.sampleRate == 32000)) return false;
  const int pairs = format.bits == 12 ? std::clamp(format.pairs, 1, 2) : 1;
  const SystemFacts& facts = FactsOf(system);
  if (frame.size() != facts.frameBytes) return false;
  const int afSize = format.samplesPerFrame - MinSamples(system, *smp);
  if (afSize < 0 || afSize > kMaxAfSize) return false;
  if (format.samplesPerFrame > CapacityPerChannel(system, format.bits)) return false;
  const size_t count = static_cast<size_t>(format.samplesPerFrame);
  if (pair0.size() < count * 2) return false;
  if (pairs == 2 && pair1.size() < count * 2) return false;

  const size_t halfSequences = facts.sequences / 2;
  for (size_t seq = 0; seq < facts.sequences; ++seq) {
    const size_t half = seq / halfSequences;
    const bool hasSound = half == 0 || format.bits == 16 || pairs == 2;
    const uint8_t as[kPackBytes] = {
        kPackAas,
        static_cast<uint8_t>((format.locked ? 0 : aas::kLockedFlagBit) | aas::kPc1Reserved |
                             static_cast<uint8_t>(afSize)),
        static_cast<uint8_t>((format.bits == 12 ? 1u : 0u) << aas::kChnShift |
                             (hasSound ? (format.bits == 16 ? half : 0u) : aas::kAudioModeNone)),
        static_cast<uint8_t>(aas::kPc3Reserved |
                             (system == DvSystem::k625_50 ? aas::k50FieldsBit : 0)),
        static_cast<uint8_t>((*smp << aas::kSmpShift) |
                             (format.bits == 12 ? aas::kQu12Nonlinear : aas::kQu16Linear))};
    // Source control: no copy restriction, recording start, normal speed.
    constexpr uint8_t kAsc[kPackBytes] = {kPackAasc, 0x03, 0xCF, 0xA0, 0xFF};
    const bool even = seq % 2 == 0;
    const size_t asBlock = even ? kAsBlockEven : kAsBlockOdd;
    const size_t ascBlock = even ? kAscBlockEven : kAscBlockOdd;
    for (size_t j = 0; j < kAudioBlocksPerSequence; ++j) {
      uint8_t* block = frame.data() + seq * kSequenceBytes + AudioBlockIndex(j) * kDifBlockBytes;
      const uint8_t* pack = j == asBlock ? as : j == ascBlock ? kAsc : nullptr;
      for (size_t i = 0; i < kPackBytes; ++i) {
        block[kAauxPackOffset + i] = pack ? pack[i] : kPackNone;
      }
      std::fill(block + kAudioDataOffset, block + kDifBlockBytes, 0);
    }
  }

  if (format.bits == 16) {
    for (size_t ch = 0; ch < 2; ++ch) {
      for (size_t n = 0; n < count; ++n) {
        const Position p = Shuffle(system, n);
        uint8_t* d = frame.data() + AudioDataOffset(system, ch, p) + 2 * p.slot;
        // 0x8000 would read back as an error sample: the nearest value stands in for it.
        const int16_t v = std::max<int16_t>(pair0[2 * n + ch], static_cast<int16_t>(-32767));
        const uint16_t raw = static_cast<uint16_t>(v);
        d[0] = static_cast<uint8_t>(raw >> 8);
        d[1] = static_cast<uint8_t>(raw);
      }
    }
    return true;
  }
  for (size_t pair = 0; pair < static_cast<size_t>(pairs); ++pair) {
    const std::span<const int16_t> pcm = pair == 0 ? pair0 : pair1;
    for (size_t n = 0; n < count; ++n) {
      const Position p = Shuffle(system, n);
      uint8_t* d = frame.data() + AudioDataOffset(system, pair, p) + 3 * p.slot;
      uint16_t left = Compress16To12(pcm[2 * n]);
      uint16_t right = Compress16To12(pcm[2 * n + 1]);
      if (left == kError12) left = kError12 + 1;
      if (right == kError12) right = kError12 + 1;
      d[0] = static_cast<uint8_t>(left >> 4);
      d[1] = static_cast<uint8_t>(right >> 4);
      d[2] = static_cast<uint8_t>(((left & 0x0F) << 4) | (right & 0x0F));
    }
  }
  return true;
}

}  // namespace vidorra::dv
