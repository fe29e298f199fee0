#include "DvFrame.h"

namespace vidorra::dv {

namespace {

constexpr Section SectionOfBlock(size_t block) {
  if (block == kHeaderBlock) return Section::kHeader;
  if (block < kFirstVauxBlock) return Section::kSubcode;
  if (block < kFirstAudioBlock) return Section::kVaux;
  return (block - kFirstAudioBlock) % kAudioBlockStride == 0 ? Section::kAudio : Section::kVideo;
}

constexpr uint32_t kAbsentPack = 0xFFFFFFFFu;

uint32_t PackPayload(const std::optional<std::array<uint8_t, kPackBytes>>& pack) {
  if (!pack) return kAbsentPack;
  return static_cast<uint32_t>((*pack)[1]) | (static_cast<uint32_t>((*pack)[2]) << 8) |
         (static_cast<uint32_t>((*pack)[3]) << 16) | (static_cast<uint32_t>((*pack)[4]) << 24);
}

}  // namespace

std::optional<DvSystem> SystemFromHeader(std::span<const uint8_t> frame) {
  if (frame.size() < kDifBlockBytes) return std::nullopt;
  if (static_cast<Section>(frame[0] >> kSectionShift) != Section::kHeader) return std::nullopt;
  return (frame[kDsfByte] & kDsfBit) ? DvSystem::k625_50 : DvSystem::k525_60;
}

bool BlockIntact(std::span<const uint8_t> frame, size_t sequence, size_t block) {
  const uint8_t* id = frame.data() + sequence * kSequenceBytes + block * kDifBlockBytes;
  return static_cast<Section>(id[0] >> kSectionShift) == SectionOfBlock(block) &&
         (id[1] >> kSequenceShift) == sequence;
}

std::optional<DvSystem> ReadableFrame(std::span<const uint8_t> frame) {
  const auto system = SystemFromHeader(frame);
  if (!system || frame.size() != FactsOf(*system).frameBytes) return std::nullopt;
  return system;
}

std::optional<FrameInspection> InspectFrame(std::span<const uint8_t> frame) {
  const auto system = ReadableFrame(frame);
  if (!system) return std::nullopt;
  const SystemFacts& facts = FactsOf(*system);
  FrameInspection inspection{*system, 0};
  for (size_t seq = 0; seq < facts.sequences; ++seq) {
    for (size_t block = 0; block < kBlocksPerSequence; ++block) {
      if (!BlockIntact(frame, seq, block)) ++inspection.damagedBlocks;
    }
  }
  return inspection;
}

std::optional<DvSystem> CheckFrame(std::span<const uint8_t> frame) {
  const auto inspection = InspectFrame(frame);
  if (!inspection || inspection->damagedBlocks != 0) return std::nullopt;
  return inspection->system;
}

std::optional<std::array<uint8_t, kPackBytes>> FindPack(std::span<const uint8_t> frame,
                                                        DvSystem system, uint8_t id, int half) {
  const SystemFacts& facts = FactsOf(system);
  if (frame.size() < facts.frameBytes) return std::nullopt;
  // Every copy found in an intact block, with the number of copies that carry the same bytes.
  struct Candidate {
    std::array<uint8_t, kPackBytes> pack;
    int votes;
  };
  std::array<Candidate, kSequencesPal * kVauxBlocks * kVauxPacksPerBlock> candidates{};
  size_t found = 0;
  auto vote = [&](size_t offset) {
    std::array<uint8_t, kPackBytes> pack{};
    for (size_t i = 0; i < kPackBytes; ++i) pack[i] = frame[offset + i];
    for (size_t c = 0; c < found; ++c) {
      if (candidates[c].pack == pack) {
        ++candidates[c].votes;
        return;
      }
    }
    candidates[found++] = {pack, 1};
  };
  const bool audio = id == kPackAas || id == kPackAasc;
  if (audio) {
    const size_t halfSequences = facts.sequences / 2;
    const size_t first = half == 0 ? 0 : halfSequences;
    for (size_t seq = first; seq < first + halfSequences; ++seq) {
      for (size_t j = 0; j < kAudioBlocksPerSequence; ++j) {
        if (!BlockIntact(frame, seq, AudioBlockIndex(j))) continue;
        const size_t offset =
            seq * kSequenceBytes + AudioBlockIndex(j) * kDifBlockBytes + kAauxPackOffset;
        if (frame[offset] == id) vote(offset);
      }
    }
  } else {
    for (size_t seq = 0; seq < facts.sequences; ++seq) {
      for (size_t b = 0; b < kVauxBlocks; ++b) {
        if (!BlockIntact(frame, seq, kFirstVauxBlock + b)) continue;
        const size_t block = seq * kSequenceBytes + (kFirstVauxBlock + b) * kDifBlockBytes;
        for (size_t p = 0; p < kVauxPacksPerBlock; ++p) {
          const size_t offset = block + kBlockIdBytes + p * kPackBytes;
          if (frame[offset] == id) vote(offset);
        }
      }
    }
  }
  if (found == 0) return std::nullopt;
  // The first copy among those most often seen.
  size_t best = 0;
  for (size_t c = 1; c < found; ++c) {
    if (candidates[c].votes > candidates[best].votes) best = c;
  }
  return candidates[best].pack;
}

DVINFO DvInfoFromFrame(std::span<const uint8_t> frame, DvSystem system) {
  DVINFO info{};
  info.dwDVAAuxSrc = PackPayload(FindPack(frame, system, kPackAas, 0));
  info.dwDVAAuxCtl = PackPayload(FindPack(frame, system, kPackAasc, 0));
  info.dwDVAAuxSrc1 = PackPayload(FindPack(frame, system, kPackAas, 1));
  info.dwDVAAuxCtl1 = PackPayload(FindPack(frame, system, kPackAasc, 1));
  info.dwDVVAuxSrc = PackPayload(FindPack(frame, system, kPackVs));
  info.dwDVVAuxCtl = PackPayload(FindPack(frame, system, kPackVsc));
  info.dwDVReserved[0] = 0;
  info.dwDVReserved[1] = 0;
  return info;
}

}  // namespace vidorra::dv
