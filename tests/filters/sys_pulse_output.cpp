// PCM playback core: volume mapping, playing to the server's null sink, flush releasing a
// blocked writer, and running without a server. The stream's volume as the server reports it,
// set before and while playing: sys_audio_renderer.cpp.
#include <PulseAudioOutput.h>
#include <gtest/gtest.h>
#include <pulse/volume.h>
#include <scoped_env.h>
#include <wait_until.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace vidorra::filters {
namespace {

constexpr DWORD kRate = 48000;
constexpr WORD kChannels = 2;

WAVEFORMATEX Pcm16Stereo() {
  return {WAVE_FORMAT_PCM, kChannels, kRate, kRate * kChannels * 2, kChannels * 2, 16, 0};
}

std::vector<int16_t> Tone(int milliseconds) {
  const size_t frames = kRate * milliseconds / 1000;
  std::vector<int16_t> samples(frames * kChannels);
  for (size_t i = 0; i < frames; ++i) {
    const auto v = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 1000 * i / kRate));
    samples[i * 2] = v;
    samples[i * 2 + 1] = v;
  }
  return samples;
}

TEST(SysPulseOutput, VolumeMapsHundredthsOfDecibels) {
  EXPECT_EQ(PulseVolumeFromHundredthsDb(0), PA_VOLUME_NORM);
  EXPECT_EQ(PulseVolumeFromHundredthsDb(-10000), PA_VOLUME_MUTED) << "-10000 is silence";
  EXPECT_EQ(PulseVolumeFromHundredthsDb(-20000), PA_VOLUME_MUTED);
  EXPECT_EQ(PulseVolumeFromHundredthsDb(500), PA_VOLUME_NORM);
  EXPECT_EQ(PulseVolumeFromHundredthsDb(-2000), pa_sw_volume_from_dB(-20.0));
  EXPECT_EQ(PulseVolumeFromHundredthsDb(-600), pa_sw_volume_from_dB(-6.0));
  uint32_t previous = PA_VOLUME_MUTED;
  for (long v = -9999; v <= 0; v += 1111) {
    const uint32_t mapped = PulseVolumeFromHundredthsDb(v);
    EXPECT_GT(mapped, previous) << v;
    previous = mapped;
  }
}

TEST(SysPulseOutput, WithoutServerOpenFailsAndWritesAreRefused) {
  test::ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/vidorra/native");
  PulseAudioOutput output("test");
  std::string error;
  EXPECT_FALSE(output.Open(Pcm16Stereo(), &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(output.IsOpen());
  const std::vector<int16_t> tone = Tone(10);
  EXPECT_FALSE(output.Write(tone.data(), tone.size() * 2));
}

TEST(SysPulseOutput, RefusesFormatsItCannotPlay) {
  PulseAudioOutput output("test");
  WAVEFORMATEX format = Pcm16Stereo();
  format.wBitsPerSample = 12;
  EXPECT_FALSE(output.Open(format));
  format = Pcm16Stereo();
  format.nBlockAlign = 3;
  EXPECT_FALSE(output.Open(format));
}

class SysPulseOutputServer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    if (!output_.Open(Pcm16Stereo(), &error)) {
      GTEST_SKIP() << "no sound server (scripts/test starts one): " << error;
    }
  }
  PulseAudioOutput output_{"vidorra test"};
};

TEST_F(SysPulseOutputServer, PlaysPcmAtTheSoundCardsPace) {
  const std::vector<int16_t> tone = Tone(300);
  output_.SetPaused(false);
  ASSERT_TRUE(output_.Write(tone.data(), tone.size() * 2));
  // The server's clock for the stream advances as the sink consumes what was written.
  EXPECT_TRUE(test::WaitUntil([&] { return output_.PlayedMicroseconds().value_or(0) >= 150'000; }))
      << "played " << output_.PlayedMicroseconds().value_or(0) << " us";
  EXPECT_LE(output_.PlayedMicroseconds().value_or(0), 400'000u) << "not more than was written";
}

TEST_F(SysPulseOutputServer, FlushReleasesAWriterBlockedOnAPausedStream) {
  // Paused: the server's buffer fills and the writer waits for room that never comes.
  const std::vector<int16_t> tone = Tone(2000);
  std::atomic<int> result{-1};
  std::thread writer([&] { result = output_.Write(tone.data(), tone.size() * 2) ? 1 : 0; });
  output_.BeginFlush();
  EXPECT_TRUE(test::WaitUntil([&] { return result.load() != -1; }));
  writer.join();
  EXPECT_EQ(result.load(), 0) << "an interrupted write reports that it did not finish";
  output_.EndFlush();
  output_.SetPaused(false);
  const std::vector<int16_t> shortTone = Tone(50);
  EXPECT_TRUE(output_.Write(shortTone.data(), shortTone.size() * 2));
}

TEST_F(SysPulseOutputServer, AWriteTheServerHasNoRoomForEndsAtItsDeadline) {
  // Paused: the server takes what fits in its buffer and no more.
  const std::vector<int16_t> tone = Tone(2000);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  std::atomic<int> result{-1};
  std::thread writer(
      [&] { result = output_.Write(tone.data(), tone.size() * 2, deadline) ? 1 : 0; });
  EXPECT_TRUE(test::WaitUntil([&] { return result.load() != -1; }));
  writer.join();
  EXPECT_GE(std::chrono::steady_clock::now(), deadline) << "it waited for room until then";
  EXPECT_EQ(result.load(), 1) << "late sound is dropped, not a failure";
  EXPECT_GT(output_.LateBytes(), 0u);
  EXPECT_LT(output_.LateBytes(), tone.size() * 2) << "what fitted was written";
  // A deadline already past writes what fits at once and drops the rest.
  const uint64_t before = output_.LateBytes();
  EXPECT_TRUE(output_.Write(tone.data(), tone.size() * 2, std::chrono::steady_clock::now()));
  EXPECT_EQ(output_.LateBytes(), before + tone.size() * 2);
}

}  // namespace
}  // namespace vidorra::filters
