// DV frames: structural check, DVINFO, sound extraction and insertion (every rate, 12-bit,
// locked and unlocked), checked against ffmpeg's own DV reader, and a seeded mutation loop
// that feeds thousands of damaged frames to every parser.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "avi_test_support.h"
#include "dv/DvAudio.h"
#include "dv/DvFrame.h"

namespace vidorra::dv {
namespace {

using test::DvFrameMaker;

TEST(DvFrame, EncodedFramesPassTheCheckWithTheirSystem) {
  for (DvSystem system : {DvSystem::k625_50, DvSystem::k525_60}) {
    DvFrameMaker maker(system);
    ASSERT_TRUE(maker.ok());
    const auto frame = maker.Frame(0);
    EXPECT_EQ(frame.size(), FactsOf(system).frameBytes);
    EXPECT_EQ(CheckFrame(frame), system);
    // One byte short, or the DSF bit flipped: no longer a frame of that system.
    EXPECT_FALSE(CheckFrame({frame.data(), frame.size() - 1}));
    auto flipped = frame;
    flipped[kDsfByte] ^= kDsfBit;
    EXPECT_FALSE(CheckFrame(flipped));
    // A block of the wrong section type.
    auto wrongBlock = frame;
    wrongBlock[kSequenceBytes + AudioBlockIndex(2) * kDifBlockBytes] = 0x90;  // video SCT
    EXPECT_FALSE(CheckFrame(wrongBlock));
  }
}

TEST(DvFrame, DvInfoHoldsThePackPayloads) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  const auto frame = maker.Frame(0);
  const auto as = FindPack(frame, DvSystem::k625_50, kPackAas);
  const auto vs = FindPack(frame, DvSystem::k625_50, kPackVs);
  ASSERT_TRUE(as && vs);
  const DVINFO info = DvInfoFromFrame(frame, DvSystem::k625_50);
  EXPECT_EQ(info.dwDVAAuxSrc, static_cast<uint32_t>((*as)[1] | (*as)[2] << 8 | (*as)[3] << 16 |
                                                    static_cast<uint32_t>((*as)[4]) << 24));
  EXPECT_EQ(info.dwDVVAuxSrc & 0xFF, (*vs)[1]);
  // The 50-field bit of the audio source pack says PAL.
  EXPECT_TRUE((info.dwDVAAuxSrc >> 16) & aas::k50FieldsBit);
  EXPECT_EQ(info.dwDVReserved[0], 0u);
}

struct AudioCase {
  DvSystem system;
  int rate;
  int bits;
  int pairs;
  bool locked;
};

int MinimumSamples(DvSystem system, int rate) {
  for (const RateFacts& r : kRateFacts) {
    if (r.sampleRate == rate) {
      return system == DvSystem::k625_50 ? r.minSamples50 : r.minSamples60;
    }
  }
  return 0;
}

class DvAudioRoundTrip : public ::testing::TestWithParam<AudioCase> {};

TEST_P(DvAudioRoundTrip, WhatIsWrittenIsReadBack) {
  const AudioCase c = GetParam();
  DvFrameMaker maker(c.system);
  ASSERT_TRUE(maker.ok());
  std::mt19937 rng(7);
  for (uint64_t n = 0; n < 6; ++n) {
    auto frame = maker.Frame(n);
    DvAudioFormat format;
    format.sampleRate = c.rate;
    format.bits = c.bits;
    format.pairs = c.pairs;
    format.locked = c.locked;
    const int min = MinimumSamples(c.system, c.rate);
    // Unlocked sound varies from frame to frame: AF_SIZE must be read every time.
    format.samplesPerFrame =
        c.locked ? LockedSamplesForFrame(c.system, c.rate, n) : min + static_cast<int>(rng() % 20);
    const auto pcm0 = test::Tone(n * 2000, format.samplesPerFrame, c.rate);
    auto pcm1 = test::Tone(n * 2000 + 17, format.samplesPerFrame, c.rate);
    ASSERT_TRUE(InsertAudio(frame, c.system, format, pcm0, pcm1));
    ASSERT_TRUE(CheckFrame(frame));
    const auto audio = ExtractAudio(frame);
    ASSERT_TRUE(audio.has_value());
    EXPECT_EQ(audio->format.samplesPerFrame, format.samplesPerFrame);
    EXPECT_EQ(audio->format.sampleRate, c.rate);
    EXPECT_EQ(audio->format.bits, c.bits);
    EXPECT_EQ(audio->format.locked, c.locked);
    EXPECT_EQ(audio->format.pairs, c.pairs);
    EXPECT_EQ(audio->mutedSamples, 0u);
    for (int p = 0; p < c.pairs; ++p) {
      const auto& in = p == 0 ? pcm0 : pcm1;
      ASSERT_EQ(audio->pcm[p].size(), in.size());
      for (size_t i = 0; i < in.size(); ++i) {
        // 12-bit nonlinear keeps the value within its segment's step.
        const int tolerance = c.bits == 16 ? 0 : std::max(1, std::abs(in[i]) / 64);
        ASSERT_NEAR(audio->pcm[p][i], in[i], tolerance) << "pair " << p << " sample " << i;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllFormats, DvAudioRoundTrip,
                         ::testing::Values(AudioCase{DvSystem::k625_50, 48000, 16, 1, true},
                                           AudioCase{DvSystem::k525_60, 48000, 16, 1, true},
                                           AudioCase{DvSystem::k625_50, 44100, 16, 1, false},
                                           AudioCase{DvSystem::k525_60, 44100, 16, 1, false},
                                           AudioCase{DvSystem::k625_50, 32000, 16, 1, true},
                                           AudioCase{DvSystem::k525_60, 32000, 16, 1, false},
                                           AudioCase{DvSystem::k625_50, 32000, 12, 2, true},
                                           AudioCase{DvSystem::k525_60, 32000, 12, 2, false},
                                           AudioCase{DvSystem::k625_50, 32000, 12, 1, false}));

TEST(DvAudio, LockedNtscCycleAndPalCounts) {
  EXPECT_EQ(LockedSamplesForFrame(DvSystem::k625_50, 48000, 3), 1920);
  int total = 0;
  for (uint64_t n = 0; n < 5; ++n) total += LockedSamplesForFrame(DvSystem::k525_60, 48000, n);
  EXPECT_EQ(total, 8008);
  EXPECT_EQ(LockedSamplesForFrame(DvSystem::k525_60, 48000, 0), 1600);
  EXPECT_EQ(LockedSamplesForFrame(DvSystem::k525_60, 48000, 1), 1602);
}

TEST(DvAudio, ErrorSamplesAreMuted) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  auto frame = maker.Frame(0);
  // The first sample of the left channel: sequence 0, audio block 0, first slot.
  uint8_t* s = frame.data() + AudioBlockIndex(0) * kDifBlockBytes + kAudioDataOffset;
  s[0] = 0x80;
  s[1] = 0x00;
  const auto audio = ExtractAudio(frame);
  ASSERT_TRUE(audio);
  EXPECT_EQ(audio->mutedSamples, 1u);
  EXPECT_EQ(audio->pcm[0][0], 0);
}

TEST(DvAudio, TwelveBitCodesAreMonotonicAndSymmetric) {
  int previous = Expand12To16(0x800 + 1);  // most negative valid code
  for (int code = -2047; code <= 2047; ++code) {
    const int16_t x = Expand12To16(static_cast<uint16_t>(code & 0xFFF));
    if (code > -2047) {
      EXPECT_GT(x, previous) << code;
    }
    previous = x;
    EXPECT_EQ(Compress16To12(x), static_cast<uint16_t>(code & 0xFFF)) << code;
  }
  EXPECT_EQ(Expand12To16(0), 0);
  EXPECT_EQ(Expand12To16(0xFFF), -1);
}

TEST(DvAudio, ImpossibleFormatsAreRefused) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  auto frame = maker.Frame(0);
  const auto before = frame;
  DvAudioFormat format;
  format.samplesPerFrame = 5000;  // more than the frame can hold
  const auto pcm = test::Tone(0, 5000);
  EXPECT_FALSE(InsertAudio(frame, DvSystem::k625_50, format, pcm));
  format.samplesPerFrame = 1920;
  format.sampleRate = 22050;
  EXPECT_FALSE(InsertAudio(frame, DvSystem::k625_50, format, pcm));
  format.sampleRate = 48000;
  format.bits = 12;  // 12-bit exists only at 32 kHz
  EXPECT_FALSE(InsertAudio(frame, DvSystem::k625_50, format, pcm));
  EXPECT_EQ(frame, before);
  // AF_SIZE beyond the frame's capacity in a received frame: no sound, no read past it.
  for (size_t seq = 0; seq < kSequencesPal; ++seq) {
    for (size_t j = 0; j < kAudioBlocksPerSequence; ++j) {
      uint8_t* pack = frame.data() + seq * kSequenceBytes + AudioBlockIndex(j) * kDifBlockBytes +
                      kAauxPackOffset;
      if (pack[0] == kPackAas) pack[1] |= aas::kAfSizeMask;
    }
  }
  EXPECT_FALSE(ExtractAudio(frame).has_value());
}

// ffmpeg's DV reader, which nobody here wrote, hears the same samples we wrote.
TEST(DvAudio, FfmpegDecodesTheSoundWeWrite) {
  for (DvSystem system : {DvSystem::k625_50, DvSystem::k525_60}) {
    DvFrameMaker maker(system);
    ASSERT_TRUE(maker.ok());
    test::TempDir dir;
    const std::string path = dir.File("tone.dv");
    const std::vector<int16_t> expected = test::WriteDvFile(path, maker, 10);
    const std::string raw = test::RunCommand("ffmpeg -v error -f dv -i " + test::Quote(path) +
                                             " -map 0:a:0 -f s16le -acodec pcm_s16le -");
    ASSERT_EQ(raw.size(), expected.size() * 2);
    std::vector<int16_t> decoded(expected.size());
    std::memcpy(decoded.data(), raw.data(), raw.size());
    EXPECT_EQ(decoded, expected);
  }
}

// Thousands of damaged frames: flipped bytes, rewritten packs, truncations. Every parser must
// either reject the frame or read inside it (ASan watches), and a rejected frame is counted.
TEST(DvFuzz, MutatedFramesNeverReadOutOfBounds) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  DvFrameMaker ntsc(DvSystem::k525_60);
  ASSERT_TRUE(ntsc.ok());
  const std::vector<uint8_t> seeds[] = {maker.Frame(0), maker.Frame(1), ntsc.Frame(0)};
  std::mt19937 rng(20261206);
  constexpr int kIterations = 3000;
  int rejected = 0, accepted = 0;
  for (int i = 0; i < kIterations; ++i) {
    std::vector<uint8_t> frame = seeds[rng() % std::size(seeds)];
    switch (rng() % 5) {
      case 0:  // random bytes anywhere
        for (int k = 0; k < 1 + static_cast<int>(rng() % 20); ++k)
          frame[rng() % frame.size()] = rng();
        break;
      case 1: {  // damage the AAUX packs (rates, AF_SIZE, quantisation)
        for (size_t seq = 0; seq < frame.size() / kSequenceBytes; ++seq) {
          uint8_t* pack = frame.data() + seq * kSequenceBytes +
                          AudioBlockIndex(rng() % kAudioBlocksPerSequence) * kDifBlockBytes +
                          kAauxPackOffset;
          pack[rng() % kPackBytes] = rng();
        }
        break;
      }
      case 2:  // truncated
        frame.resize(rng() % frame.size());
        break;
      case 3:  // grown
        frame.resize(frame.size() + 1 + rng() % 100, 0);
        break;
      case 4:  // header block damaged (system bit)
        frame[rng() % kDifBlockBytes] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
    }
    const auto system = CheckFrame(frame);
    if (system) {
      (void)DvInfoFromFrame(frame, *system);
      (void)ReadAudioFormat(frame, *system);
    }
    const auto audio = ExtractAudio(frame);
    if (audio) {
      ++accepted;
      ASSERT_LE(audio->pcm[0].size(), 2u * 1944u);
    } else {
      ++rejected;
    }
  }
  EXPECT_GT(rejected, kIterations / 10);
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace vidorra::dv
