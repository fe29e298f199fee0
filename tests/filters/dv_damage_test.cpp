// Damaged DV, as worn tapes give it: a frame whose DIF blocks carry damaged IDs is still a
// frame. The splitter passes it on and counts the damage, the sound of damaged audio blocks is
// muted and the rest kept, the decoder decodes it; only a frame whose structure cannot be read
// (no header block, wrong size) is dropped. Files with flipped bytes are recorded and read back.
#include <TestCountingSink.h>
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "dv/DvAudio.h"
#include "dv_test_support.h"

namespace vidorra::dv {
namespace {

using test::DvFrameMaker;

uint8_t* BlockAt(std::vector<uint8_t>& frame, size_t sequence, size_t block) {
  return frame.data() + sequence * kSequenceBytes + block * kDifBlockBytes;
}

TEST(DvDamage, InspectionCountsDamagedBlocksAndRefusesOnlyUnreadableFrames) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  const auto frame = maker.Frame(0);
  ASSERT_EQ(InspectFrame(frame)->damagedBlocks, 0u);

  auto damaged = frame;
  BlockAt(damaged, 3, AudioBlockIndex(2))[0] = 0x90;  // a video section type in an audio block
  BlockAt(damaged, 7, 40)[1] ^= 0x30;                 // a wrong sequence number
  const auto inspection = InspectFrame(damaged);
  ASSERT_TRUE(inspection);
  EXPECT_EQ(inspection->system, DvSystem::k625_50);
  EXPECT_EQ(inspection->damagedBlocks, 2u);
  EXPECT_FALSE(CheckFrame(damaged)) << "the strict check still refuses damage";
  EXPECT_TRUE(BlockIntact(damaged, 3, AudioBlockIndex(1)));
  EXPECT_FALSE(BlockIntact(damaged, 3, AudioBlockIndex(2)));

  auto headerless = frame;
  headerless[0] = 0x90;
  EXPECT_FALSE(InspectFrame(headerless)) << "no header block";
  EXPECT_FALSE(InspectFrame({frame.data(), frame.size() - 1})) << "truncated";
  auto foreign = frame;
  foreign[kDsfByte] ^= kDsfBit;
  EXPECT_FALSE(InspectFrame(foreign)) << "a 525-line header over 625-line bytes";
}

TEST(DvDamage, SoundOfDamagedAudioBlocksIsMutedTheRestKept) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  std::vector<int16_t> pcm;
  auto frame = maker.Frame(5, &pcm);
  // The ID of one audio block of each half, and one byte of one copy of the AAUX source pack.
  BlockAt(frame, 1, AudioBlockIndex(4))[0] ^= 0xE0;
  BlockAt(frame, 8, AudioBlockIndex(7))[1] ^= 0xF0;
  BlockAt(frame, 0, AudioBlockIndex(kAsBlockEven))[kAauxPackOffset + 4] ^= 0x38;  // SMP
  const auto audio = ExtractAudio(frame);
  ASSERT_TRUE(audio);
  EXPECT_EQ(audio->format.sampleRate, 48000) << "the other copies of the pack outvote the damage";
  ASSERT_EQ(audio->pcm[0].size(), pcm.size());
  size_t muted = 0;
  for (size_t i = 0; i < pcm.size(); ++i) {
    if (audio->pcm[0][i] == pcm[i]) continue;
    EXPECT_EQ(audio->pcm[0][i], 0) << "sample " << i << " is neither kept nor muted";
    ++muted;
  }
  // Two blocks of 36 sample slots each; 1920 samples fill 35 or 36 of a block's slots.
  EXPECT_GE(audio->mutedSamples, 2u * (kSamples16PerBlock - 1));
  EXPECT_LE(audio->mutedSamples, 2u * kSamples16PerBlock);
  EXPECT_LE(muted, audio->mutedSamples);
  EXPECT_GT(muted, audio->mutedSamples / 2);
}

// Flips bytes at `rate` everywhere but in the header block, and destroys the header of the
// frames in `headerless`: those cannot be read, every other one can.
struct Damage {
  double rate;
  std::set<int> headerless;
};

TEST(DvDamage, FlippedBytesKeepEveryReadableFrameThroughSplitterMuxAndDecoder) {
  DvFrameMaker maker;
  ASSERT_TRUE(maker.ok());
  constexpr int kFrames = 40;
  for (const Damage& damage : {Damage{0.0001, {9}}, Damage{0.01, {17, 30}}}) {
    SCOPED_TRACE(testing::Message() << "flipped bytes: " << damage.rate * 100 << "%");
    test::TempDir dir;
    const std::string dvPath = dir.File("worn.dv"), aviPath = dir.File("worn.avi");
    std::mt19937 rng(1961);
    std::bernoulli_distribution hit(damage.rate);
    long damagedFrames = 0;
    test::WriteDvFile(dvPath, maker, kFrames, [&](int i, std::vector<uint8_t>& frame) {
      if (i == 0) return;  // the source reads the stream's type from the first frame
      for (size_t b = kDifBlockBytes; b < frame.size(); ++b) {
        if (hit(rng)) frame[b] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
      if (damage.headerless.count(i)) frame[0] = 0x90;
      if (InspectFrame(frame) && InspectFrame(frame)->damagedBlocks > 0) ++damagedFrames;
    });
    ASSERT_GT(damagedFrames, 0);
    const long readable = kFrames - static_cast<long>(damage.headerless.size());

    // Recorded as a type-2 file: every readable frame and its sound are on disk.
    {
      test::Type2RecordingChain chain(dvPath, aviPath);
      ASSERT_TRUE(chain.Record());
      auto& splitter = chain.splitter;
      EXPECT_EQ(splitter->BadFrames(), static_cast<long>(damage.headerless.size()));
      EXPECT_EQ(splitter->DamagedFrames(), damagedFrames);
      EXPECT_GE(splitter->DamagedBlocks(), damagedFrames);
      EXPECT_EQ(splitter->SoundDropped(), 0);
      test::ExpectProbed(aviPath, {"dvvideo", "pcm_s16le"}, readable);  // every frame on disk
      EXPECT_EQ(test::DecodedAudioSamples(aviPath, 2), readable * 1920);
    }
    // Decoded: every readable frame becomes a picture.
    {
      test::DecodingChain chain(dvPath);
      auto sink = MakeComObject<test::TestCountingSink>(MEDIASUBTYPE_IYUV);
      chain.graph->AddFilter(sink.Get(), L"Sink");
      ASSERT_EQ(test::Link(chain.graph.Get(), chain.decoder.Get(), 1, sink.Get(), 0), S_OK);
      ASSERT_TRUE(test::RunToCompletion(chain.graph.Get(), 20'000));
      EXPECT_EQ(chain.decoder->BadFrames(), 0);
      EXPECT_EQ(static_cast<long>(sink->Count()), readable);
    }
  }
}

}  // namespace
}  // namespace vidorra::dv
