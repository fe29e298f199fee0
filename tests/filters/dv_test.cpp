// DV frames and the DV codec: sound extraction and insertion (every rate, 12-bit, locked and
// unlocked), damaged sound muted, impossible formats refused, a seeded mutation loop feeding
// thousands of damaged frames to every parser; decoding and coding where the frame lies, one
// conversion at most. The timecode and recording date a camcorder writes into DV frames: read
// from frames ffmpeg writes (PAL, NTSC with drop-frame counting), from hand-damaged packs (blank,
// unreadable, only the subcode's copies), and a tape's scenes told apart by them. The DV filters,
// and our sound as ffmpeg's own DV reader hears it: dv_filters_test.
#include <PixelFormatConverter.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "avi_test_support.h"
#include "dv/DvMediaTypes.h"
#include "dv/DvRecordingInfo.h"

namespace vidorra::dv {
namespace {

using devices::sim::PatternLayout;
using test::DvFrameMaker;

uint8_t* BlockAt(std::vector<uint8_t>& frame, size_t sequence, size_t block) {
  return frame.data() + sequence * kSequenceBytes + block * kDifBlockBytes;
}

// Every rate, 16 and 12 bits, one or two pairs, locked and unlocked (whose AF_SIZE varies from
// frame to frame): what is written is read back (12-bit within its segment's step), and the
// frame's recording info (DVINFO) describes it; the locked counts and the 12-bit codes themselves.
TEST(DvAudio, WhatIsWrittenIsReadBackInEveryFormatWithTheLockedCountsAndTwelveBitCodes) {
  const struct {
    DvSystem system;
    int rate, bits, pairs;
    bool locked;
  } cases[] = {{DvSystem::k625_50, 48000, 16, 1, true},  {DvSystem::k525_60, 48000, 16, 1, true},
               {DvSystem::k625_50, 44100, 16, 1, false}, {DvSystem::k525_60, 44100, 16, 1, false},
               {DvSystem::k625_50, 32000, 16, 1, true},  {DvSystem::k525_60, 32000, 16, 1, false},
               {DvSystem::k625_50, 32000, 12, 2, true},  {DvSystem::k525_60, 32000, 12, 2, false},
               {DvSystem::k625_50, 32000, 12, 1, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.bits << " bits " << c.pairs
                                    << " pairs, system " << static_cast<int>(c.system));
    DvFrameMaker maker(c.system);
    int minimum = 0;
    for (const RateFacts& r : kRateFacts) {
      if (r.sampleRate == c.rate)
        minimum = c.system == DvSystem::k625_50 ? r.minSamples50 : r.minSamples60;
    }
    std::mt19937 rng(7);
    for (uint64_t n = 0; n < 6; ++n) {
      auto frame = maker.Frame(n);
      DvAudioFormat format{
          .sampleRate = c.rate, .bits = c.bits, .pairs = c.pairs, .locked = c.locked};
      format.samplesPerFrame = c.locked ? LockedSamplesForFrame(c.system, c.rate, n)
                                        : minimum + static_cast<int>(rng() % 20);
      const std::vector<int16_t> pcm[2] = {
          test::Tone(n * 2000, format.samplesPerFrame, c.rate),
          test::Tone(n * 2000 + 17, format.samplesPerFrame, c.rate)};
      ASSERT_TRUE(InsertAudio(frame, c.system, format, pcm[0], pcm[1]));
      ASSERT_TRUE(CheckFrame(frame));
      const auto audio = ExtractAudio(frame);
      ASSERT_TRUE(audio.has_value());
      const DvAudioFormat& got = audio->format;
      EXPECT_EQ(std::tuple(got.samplesPerFrame, got.sampleRate, got.bits, got.locked, got.pairs),
                std::tuple(format.samplesPerFrame, c.rate, c.bits, c.locked, c.pairs));
      const auto described = AudioOfDvInfo(DvInfoFromFrame(frame, c.system));
      ASSERT_TRUE(described.has_value());
      EXPECT_EQ(std::tuple(described->sampleRate, described->bits, described->pairs),
                std::tuple(c.rate, c.bits, c.pairs));
      EXPECT_EQ(audio->mutedSamples, 0u);
      for (int p = 0; p < c.pairs; ++p) {
        ASSERT_EQ(audio->pcm[p].size(), pcm[p].size());
        for (size_t i = 0; i < pcm[p].size(); ++i) {
          const int tolerance = c.bits == 16 ? 0 : std::max(1, std::abs(pcm[p][i]) / 64);
          ASSERT_NEAR(audio->pcm[p][i], pcm[p][i], tolerance) << "pair " << p << " sample " << i;
        }
      }
    }
  }

  // 48 kHz locked: NTSC's five-frame cycle starts with 1600 (PAL's 1920 a frame: every DV
  // recording's sound). 12-bit codes are monotonic and symmetric.
  std::vector<int> ntsc;
  for (uint64_t n = 0; n < 6; ++n)
    ntsc.push_back(LockedSamplesForFrame(DvSystem::k525_60, 48000, n));
  EXPECT_EQ(ntsc, (std::vector<int>{1600, 1602, 1602, 1602, 1602, 1600}));
  int previous = Expand12To16(0x800 + 1);  // most negative valid code
  for (int code = -2047; code <= 2047; ++code) {
    const int16_t x = Expand12To16(static_cast<uint16_t>(code & 0xFFF));
    EXPECT_TRUE(code == -2047 || x > previous) << code;
    previous = x;
    EXPECT_EQ(Compress16To12(x), static_cast<uint16_t>(code & 0xFFF)) << code;
  }
  EXPECT_EQ(std::pair(Expand12To16(0), Expand12To16(0xFFF)), std::pair(int16_t{0}, int16_t{-1}));
}

// An error code mutes its sample; a damaged audio block ID mutes that block's samples, while a
// damaged copy of the source pack is outvoted by the others; impossible formats are refused.
TEST(DvAudio, DamagedSoundIsMutedTheRestKeptAndImpossibleFormatsRefused) {
  DvFrameMaker maker;
  std::vector<int16_t> pcm = test::Tone(5 * 1920, 1920);  // frame 5's sound, after 5 of 1920
  auto frame = maker.Frame(5);
  uint8_t* first = BlockAt(frame, 0, AudioBlockIndex(0)) + kAudioDataOffset;
  first[0] = 0x80;  // the error code in the left channel's first sample
  first[1] = 0x00;
  BlockAt(frame, 1, AudioBlockIndex(4))[0] ^= 0xE0;
  BlockAt(frame, 8, AudioBlockIndex(7))[1] ^= 0xF0;
  BlockAt(frame, 0, AudioBlockIndex(kAsBlockEven))[kAauxPackOffset + 4] ^= 0x38;  // SMP
  const auto audio = ExtractAudio(frame);
  ASSERT_TRUE(audio);
  EXPECT_EQ(audio->format.sampleRate, 48000);
  ASSERT_EQ(audio->pcm[0].size(), pcm.size());
  EXPECT_EQ(audio->pcm[0][0], 0);
  size_t muted = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    if (audio->pcm[0][i] == pcm[i]) continue;
    EXPECT_EQ(audio->pcm[0][i], 0) << "sample " << i << " is neither kept nor muted";
    ++muted;
  }
  // Two blocks of 36 sample slots each (1920 samples fill 35 or 36 of a block's), and one.
  EXPECT_GE(audio->mutedSamples, 2u * (kSamples16PerBlock - 1) + 1);
  EXPECT_LE(audio->mutedSamples, 2u * kSamples16PerBlock + 1);
  EXPECT_LE(muted, audio->mutedSamples);
  EXPECT_GT(muted, audio->mutedSamples / 2);

  // More than the frame holds, a rate DV does not have, 12 bits other than at 32 kHz: refused,
  // the frame unchanged. AF_SIZE beyond the frame's capacity in a received frame: no sound, no
  // read past it.
  frame = maker.Frame(0);
  const auto before = frame;
  pcm = test::Tone(0, 5000);
  for (const DvAudioFormat& format : {DvAudioFormat{.samplesPerFrame = 5000},
                                      DvAudioFormat{.sampleRate = 22050, .samplesPerFrame = 1920},
                                      DvAudioFormat{.bits = 12, .samplesPerFrame = 1920}}) {
    EXPECT_FALSE(InsertAudio(frame, DvSystem::k625_50, format, pcm));
  }
  EXPECT_EQ(frame, before);
  for (size_t seq = 0; seq < kSequencesPal; ++seq) {
    for (size_t j = 0; j < kAudioBlocksPerSequence; ++j) {
      uint8_t* pack = BlockAt(frame, seq, AudioBlockIndex(j)) + kAauxPackOffset;
      if (pack[0] == kPackAas) pack[1] |= aas::kAfSizeMask;
    }
  }
  EXPECT_FALSE(ExtractAudio(frame).has_value());
}

// Thousands of damaged frames: flipped bytes, rewritten packs, truncations. Every parser must
// either reject the frame or read inside it (ASan watches), and a rejected frame is counted.
TEST(DvFuzz, MutatedFramesNeverReadOutOfBounds) {
  DvFrameMaker maker;
  DvFrameMaker ntsc(DvSystem::k525_60);
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
      case 1:  // damage the AAUX packs (rates, AF_SIZE, quantisation)
        for (size_t seq = 0; seq < frame.size() / kSequenceBytes; ++seq) {
          uint8_t* block = BlockAt(frame, seq, AudioBlockIndex(rng() % kAudioBlocksPerSequence));
          block[kAauxPackOffset + rng() % kPackBytes] = rng();
        }
        break;
      case 2:
        frame.resize(rng() % frame.size());
        break;
      case 3:
        frame.resize(frame.size() + 1 + rng() % 100, 0);
        break;
      case 4:  // header block damaged (system bit)
        frame[rng() % kDifBlockBytes] ^= static_cast<uint8_t>(1u << (rng() % 8));
        break;
    }
    if (const auto system = CheckFrame(frame)) {
      (void)DvInfoFromFrame(frame, *system);
      (void)ReadAudioFormat(frame, *system);
    }
    const auto audio = ExtractAudio(frame);
    (audio ? accepted : rejected)++;
    ASSERT_LE(audio ? audio->pcm[0].size() : 0, 2u * 1944u);
  }
  EXPECT_GT(rejected, kIterations / 10);
  EXPECT_GT(accepted, 0);
}

// ---- The codec ------------------------------------------------------------------------------

constexpr uint32_t kPictureNumber = 2;

// The number the pattern carries, from a picture whose first bytes are its luma plane.
std::optional<uint32_t> NumberOf(const std::vector<uint8_t>& planes, int width) {
  return devices::sim::ReadFrameNumber([&](int x, int y) { return planes[y * width + x]; }, width);
}

// Decoding: each format in one step, the frame read where it lies (copied only without room
// after it); the codec's own format shows the picture, any other the same as the Color Space
// Converter makes of it; what is not a frame is refused. Coding: the codec's own format read
// where it lies and coded into the output (copied out only without room after it), a frame of
// its system that shows the picture again.
TEST(DvCodec, DecodesAndCodesWhereTheFrameLiesConvertingAtMostOnce) {
  for (DvSystem system : {DvSystem::k625_50, DvSystem::k525_60}) {
    DvFrameMaker maker(system);
    const std::vector<uint8_t> dif = maker.Frame(kPictureNumber);
    std::vector<uint8_t> padded = dif;
    padded.resize(dif.size() + kPadding, 0);
    const std::span<const uint8_t> frame{padded.data(), dif.size()};
    const SystemFacts& facts = FactsOf(system);
    const PictureFormat own = NativeFormat(system);
    std::vector<uint8_t> planes;
    ASSERT_EQ(DvVideoDecoder::Create()->Decode(dif, own, planes), S_OK);
    EXPECT_EQ(NumberOf(planes, facts.width), kPictureNumber);
    for (PictureFormat format : {PictureFormat::kI420, PictureFormat::kY41b, PictureFormat::kRgb32,
                                 PictureFormat::kRgb24, PictureFormat::kYuy2}) {
      SCOPED_TRACE(testing::Message()
                   << static_cast<int>(system) << " " << static_cast<int>(format));
      auto decoder = DvVideoDecoder::Create();
      std::vector<uint8_t> picture(PictureBytes(format, facts.width, facts.height), 0), copied;
      ASSERT_EQ(decoder->Decode(frame, padded.size(), format, picture), S_OK);
      EXPECT_EQ(std::pair(decoder->Copies(), decoder->Conversions()),
                (std::pair<long, long>(0, format == own ? 0 : 1)));
      ASSERT_EQ(decoder->Decode(dif, format, copied), S_OK);
      EXPECT_EQ(decoder->Copies(), 1) << "no room after the frame: it is copied first";
      EXPECT_EQ(copied, picture);
      auto layout = [&](PictureFormat f) {
        return filters::FrameLayout::FromMediaType(PictureType(f, facts.width, facts.height, 0));
      };
      const auto from = layout(own), to = layout(format);
      filters::PixelFormatConverter converter;
      std::vector<uint8_t> reference = planes;
      if (format != own) {
        ASSERT_TRUE(from && to && converter.Configure(*from, *to));
        reference.assign(to->ImageSize(), 0);
        ASSERT_TRUE(
            converter.Convert(planes.data(), planes.size(), reference.data(), reference.size()));
      }
      EXPECT_TRUE(picture == reference);
    }

    const Picture picture{own, facts.width, facts.height, false, planes, 0};
    auto encoder = DvVideoEncoder::Create(system);
    std::vector<uint8_t> inPlace(facts.frameBytes + kPadding), copied(facts.frameBytes), back;
    ASSERT_EQ(encoder->Encode(picture, std::span<uint8_t>(inPlace)), S_OK);
    EXPECT_EQ(std::pair(encoder->Conversions(), encoder->Copies()), std::pair(0L, 0L));
    ASSERT_EQ(encoder->Encode(picture, std::span<uint8_t>(copied)), S_OK);
    EXPECT_EQ(encoder->Copies(), 1) << "no room after the output: copied out of the codec";
    inPlace.resize(facts.frameBytes);
    EXPECT_EQ(inPlace, copied);
    EXPECT_EQ(InspectFrame(inPlace)->system, system);
    ASSERT_EQ(DvVideoDecoder::Create()->Decode(inPlace, own, back), S_OK);
    EXPECT_EQ(NumberOf(back, facts.width), kPictureNumber);
    // An RGB picture of odd width, its rows padded to whole words, is coded as drawn.
    std::vector<uint8_t> odd(972 * 240);
    devices::sim::PatternScene seven;
    seven.frameNumber = 7;
    devices::sim::DrawPattern(seven, {PatternLayout::kRgb24, 323, 240, odd.data()});
    const Picture rgb{PictureFormat::kRgb24, 323, 240, true, odd};
    ASSERT_EQ(encoder->Encode(rgb, std::span<uint8_t>(copied)), S_OK);
    ASSERT_EQ(DvVideoDecoder::Create()->Decode(copied, own, back), S_OK);
    EXPECT_EQ(NumberOf(back, facts.width), 7u);
  }
  std::vector<uint8_t> junk(kFrameBytesPal, 0), picture;
  EXPECT_EQ(DvVideoDecoder::Create()->Decode(junk, PictureFormat::kI420, picture), E_INVALIDARG);
}

// ---- Recording information -----------------------------------------------------------------

using Frame = std::vector<uint8_t>;

// Changes every pack of this id in the frame's subcode (where = 1) or VAUX (where = 2) blocks.
void EditPacks(Frame& frame, uint8_t id, int where, const std::function<void(uint8_t*)>& edit) {
  for (size_t q = 0; q < frame.size() / kSequenceBytes; ++q) {
    for (size_t b = 1; b <= 5; ++b) {
      uint8_t* block = frame.data() + q * kSequenceBytes + b * kDifBlockBytes;
      const bool subcode = b <= 2;
      if ((where == 1) != subcode) continue;
      for (size_t k = 0; k < (subcode ? 6u : 15u); ++k) {
        uint8_t* pack = block + 3 + (subcode ? k * 8 + 3 : k * 5);
        if (pack[0] == id) edit(pack);
      }
    }
  }
}

TEST(DvRecordingInfo, ReadFromFramesAsWrittenAndAsDamaged) {
  const test::TempDir dir;
  const auto pal = test::FfmpegDvFrames(dir, 6, "01:02:03:04", "2024-07-14T10:20:30Z");
  const auto ntsc = test::FfmpegDvFrames(dir, 6, "01:02:03;04", "2024-07-14T10:20:30Z", true);
  ASSERT_EQ(pal.size(), 6u);
  ASSERT_EQ(ntsc.size(), 6u);
  const auto blank = [](uint8_t* p) { std::fill(p + 1, p + 5, 0xFF); };
  const auto badSeconds = [](uint8_t* p) { p[2] = 0x7A; };
  const auto gone = [](uint8_t* p) { p[0] = 0xFF; };
  const auto pal25 = DvSystem::k625_50;
  const auto blankAll = [&](Frame& f) {
    for (int where : {1, 2}) {
      for (uint8_t id : {kPackTimecode, kPackRecordingDate, kPackRecordingTime})
        EditPacks(f, id, where, blank);
    }
  };
  const auto badTime = [&](Frame& f) {
    for (int where : {1, 2}) EditPacks(f, kPackRecordingTime, where, badSeconds);
  };
  const auto subcodeOnly = [&](Frame& f) {
    EditPacks(f, kPackRecordingDate, 2, gone);
    EditPacks(f, kPackRecordingTime, 2, gone);
  };
  // The timecode, the recording date and the state of its packs (0 read, 1 absent, 2 unreadable).
  const std::tuple<Frame, DvSystem, std::function<void(Frame&)>, std::string> rows[] = {
      {pal[0], pal25, {}, "01:02:03:04 14/07/2024 10:20:30 0"},
      {pal[5], pal25, {}, "01:02:03:09 14/07/2024 10:20:30 0"},
      {ntsc[1], DvSystem::k525_60, {}, "01:02:03:05 14/07/2024 10:20:30 0"},
      {pal[0], pal25, blankAll, "--:--:--:--  1"},
      {pal[0], pal25, badTime, "01:02:03:04  2"},
      {pal[0], pal25, subcodeOnly, "01:02:03:04 14/07/2024 10:20:30 0"},
  };
  for (auto [frame, system, damage, seen] : rows) {
    SCOPED_TRACE(seen);
    if (damage) damage(frame);
    const DvRecordingInfo info = ReadRecordingInfo(frame, system);
    EXPECT_EQ(TimecodeText(info) + " " + RecordedAtText(info) + " " +
                  std::to_string(static_cast<int>(info.recordedState)),
              seen);
  }
  EXPECT_TRUE(ReadRecordingInfo(ntsc[0], DvSystem::k525_60).timecode.dropFrame);
  EXPECT_FALSE(ReadRecordingInfo(pal[0], DvSystem::k625_50).timecode.dropFrame);
  // A short or foreign buffer reads as nothing.
  EXPECT_EQ(TimecodeText(ReadRecordingInfo(Frame(1000, 0x13), DvSystem::k625_50)), "--:--:--:--");
  // Drop-frame counting skips frames 0 and 1 of each minute but every tenth.
  EXPECT_EQ(TimecodeFrames({0, 1, 0, 2, true}, 30), 1800);
  EXPECT_EQ(TimecodeFrames({0, 10, 0, 0, true}, 30), 17982);
}

TEST(DvSceneTracker, ScenesBeginWhereTheRecordingJumps) {
  // Each frame: seconds of recording time from the start (-1 absent, -2 unreadable) and its
  // timecode in frames; the frames where a scene must begin.
  struct Row {
    const char* name;
    std::vector<std::pair<int, int>> frames;
    std::vector<size_t> starts;
  };
  auto steady = [](int from, int count, int tc) {
    std::vector<std::pair<int, int>> f;
    for (int i = 0; i < count; ++i) f.push_back({from + (i + 12) / 25, tc + i});
    return f;
  };
  auto join = [](std::vector<std::pair<int, int>> a, const std::vector<std::pair<int, int>>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Row rows[] = {
      {"one steady recording", steady(0, 80, 0), {}},
      {"a later outing", join(steady(0, 30, 0), steady(3600, 30, 30)), {30}},
      {"an earlier date", join(steady(100, 30, 0), steady(10, 30, 30)), {30}},
      {"the timecode skips a second and a frame", join(steady(0, 30, 0), steady(1, 30, 56)), {30}},
      {"undated frames, then dated again",
       join(join(steady(0, 10, 0), {{-1, 10}, {-1, 11}}), steady(5000, 5, 12)),
       {10, 12}},
      {"unreadable frames change nothing",
       join(join(steady(0, 10, 0), std::vector<std::pair<int, int>>(30, {-2, -1})),
            steady(2, 5, 40)),
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    DvSceneTracker tracker(DvSystem::k625_50);
    std::vector<size_t> starts;
    for (size_t i = 0; i < row.frames.size(); ++i) {
      const auto [second, tc] = row.frames[i];
      DvRecordingInfo info;
      info.recordedState = second == -1   ? PackState::kAbsent
                           : second == -2 ? PackState::kUnreadable
                                          : PackState::kRead;
      if (second >= 0) {
        info.recorded = {2024, 7, 14, 10, 20 + second / 60 % 60, second % 60};
        info.recorded.hours += second / 3600;
      }
      if (tc >= 0) {
        info.timecodeState = PackState::kRead;
        info.timecode = {0, tc / 1500, tc / 25 % 60, tc % 25, false};
      }
      if (tracker.StartsScene(info)) starts.push_back(i);
    }
    EXPECT_EQ(starts, row.starts);
  }
}

}  // namespace
}  // namespace vidorra::dv
