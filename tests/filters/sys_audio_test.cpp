// Sound playback: the PCM output to the sound server (playing at the sound card's pace, a flush
// releasing a blocked writer, a write ending at its deadline, no server) and the "Default
// DirectSound Device" over it (accepted types, IBasicAudio volume in decibels on the server's
// stream, a graph played to its end with and without a server).
#include <DSoundRender.h>
#include <PulseAudioOutput.h>
#include <TestPushSource.h>
#include <pulse/volume.h>
#include <scoped_env.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "avi_test_support.h"
#include "sys_filter_support.h"

namespace vidorra::filters {
namespace {

constexpr DWORD kRate = 48000;
constexpr const char* kNoServer = "unix:/nonexistent/vidorra/native";

WAVEFORMATEX Pcm(WORD bits = 16, WORD channels = 2) {
  const WORD align = static_cast<WORD>(channels * bits / 8);
  return {WAVE_FORMAT_PCM, channels, kRate, kRate * align, align, bits, 0};
}

class SysPulseOutputServer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    if (!output_.Open(Pcm(), &error))
      GTEST_SKIP() << "no sound server (scripts/test starts one): " << error;
  }
  // Writes `tone` from a thread of its own (a streaming thread); the result once it returns.
  bool WriteFromAnotherThread(const std::vector<int16_t>& tone,
                              std::optional<std::chrono::steady_clock::time_point> deadline = {}) {
    std::atomic<int> result{-1};
    std::thread writer([&] {
      result = (deadline ? output_.Write(tone.data(), tone.size() * 2, *deadline)
                         : output_.Write(tone.data(), tone.size() * 2))
                   ? 1
                   : 0;
    });
    if (!deadline) output_.BeginFlush();
    EXPECT_TRUE(test::WaitUntil([&] { return result.load() != -1; }));
    writer.join();
    return result.load() == 1;
  }
  PulseAudioOutput output_{"vidorra test"};
};

// Playing, the server's clock for the stream advances as the sink consumes what was written.
// Paused, the server takes what fits in its buffer: a write waits for room until its deadline
// and drops the rest, as late (not a failure), and a deadline already past drops all at once; a
// writer waiting for room that never comes is released by a flush (the write did not finish),
// which empties the server's buffer, and the stream plays again after.
TEST_F(SysPulseOutputServer, PlaysAtThePaceAndAWriteWaitsForRoomUntilItsDeadlineOrAFlush) {
  const std::vector<int16_t> shortTone = test::Tone(0, kRate / 10), tone = test::Tone(0, kRate * 2);
  output_.SetPaused(false);
  ASSERT_TRUE(output_.Write(shortTone.data(), shortTone.size() * 2));
  EXPECT_TRUE(test::WaitUntil([&] { return output_.PlayedMicroseconds().value_or(0) >= 50'000; }))
      << "played " << output_.PlayedMicroseconds().value_or(0) << " us";
  EXPECT_LE(output_.PlayedMicroseconds().value_or(0), 200'000u) << "not more than was written";

  output_.SetPaused(true);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  EXPECT_TRUE(WriteFromAnotherThread(tone, deadline));
  EXPECT_GE(std::chrono::steady_clock::now(), deadline) << "it waited for room until then";
  const uint64_t late = output_.LateBytes();
  EXPECT_TRUE(late > 0 && late < tone.size() * 2) << late << ": what fitted was written";
  EXPECT_TRUE(output_.Write(tone.data(), tone.size() * 2, std::chrono::steady_clock::now()));
  EXPECT_EQ(output_.LateBytes(), late + tone.size() * 2);

  EXPECT_FALSE(WriteFromAnotherThread(tone));
  output_.EndFlush();
  const uint64_t lateBeforeFlush = output_.LateBytes();
  const auto soon = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  EXPECT_TRUE(output_.Write(shortTone.data(), shortTone.size() * 2, soon));
  EXPECT_EQ(output_.LateBytes(), lateBeforeFlush) << "the flush emptied the server's buffer";
  output_.SetPaused(false);
  EXPECT_TRUE(output_.Write(shortTone.data(), shortTone.size() * 2));
}

CMediaType PcmType(WORD bits = 16, WORD channels = 2) {
  const WAVEFORMATEX format = Pcm(bits, channels);
  CMediaType mt(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
  mt.SetSampleSize(format.nAvgBytesPerSec / 100);  // 10 ms a sample
  return mt;
}

// Source (10 ms samples) -> renderer.
struct AudioGraph {
  ComPtr<IGraphBuilder> graph = test::NewGraph();
  ComPtr<test::TestPushSource> source;
  ComPtr<IBaseFilter> renderer = test::CreateFilter(CLSID_DSoundRender);
  CDSoundRender* dsound = static_cast<CDSoundRender*>(renderer.Get());
  ComPtr<IBasicAudio> audio = QueryAs<IBasicAudio>(renderer.Get());

  explicit AudioGraph(int frames)
      : source(MakeComObject<test::TestPushSource>(test::TestPushSourceConfig{
            .mediaType = PcmType(), .frameCount = frames, .frameDuration = 100'000})) {
    EXPECT_EQ(S_OK, test::Chain(graph.Get(), {source.Get(), renderer.Get()}));
  }
  long PlayToTheEnd() {
    EXPECT_TRUE(SUCCEEDED(test::RunGraph(graph.Get())));
    long code = 0;
    EXPECT_EQ(S_OK, QueryAs<IMediaEvent>(graph.Get())->WaitForCompletion(10'000, &code));
    test::StopGraph(graph.Get());
    return code;
  }
};

TEST(SysAudioRenderer, PlaysToTheServerWithTheVolumeOnTheStream) {
  AudioGraph g(30);
  if (!PulseAudioOutput("probe").Open(Pcm()))
    GTEST_SKIP() << "no sound server (scripts/test starts one)";
  ASSERT_EQ(S_OK, g.audio->put_Volume(-2000));
  ASSERT_TRUE(SUCCEEDED(test::RunGraph(g.graph.Get())));
  EXPECT_TRUE(test::WaitUntil([&] { return g.dsound->PlaysToServer(); }));
  EXPECT_EQ(g.dsound->ServerVolume(), pa_sw_volume_from_dB(-20.0)) << "set before the run";
  ASSERT_EQ(S_OK, g.audio->put_Volume(-10000));
  EXPECT_EQ(g.dsound->ServerVolume(), PA_VOLUME_MUTED) << "changed while running";
  EXPECT_EQ(g.PlayToTheEnd(), EC_COMPLETE);
  EXPECT_EQ(g.dsound->RenderedSamples(), 30);
  EXPECT_EQ(g.dsound->ServerVolume(), std::nullopt) << "its stream closed at the stop";
}

// Integer PCM only; a volume in hundredths of a decibel, full at first, a refused one changing
// nothing. Without a server (the output cannot open, nor can it for a format it cannot play),
// what it is given is consumed on the clock, not thrown away.
TEST(SysAudioRenderer, TakesIntegerPcmAndAVolumeAndWithoutServerConsumesOnTheClock) {
  PulseAudioOutput output("test");
  WAVEFORMATEX format = Pcm();
  format.nBlockAlign = 3;
  EXPECT_FALSE(output.Open(Pcm(12)) || output.Open(format));
  test::ScopedEnv server("PULSE_SERVER", kNoServer);
  std::string error;
  EXPECT_FALSE(output.Open(Pcm(), &error) || error.empty() || output.IsOpen());
  const std::vector<int16_t> tone = test::Tone(0, kRate / 100);
  EXPECT_FALSE(output.Write(tone.data(), tone.size() * 2));
  AudioGraph g(20);
  for (const auto& [type, taken] : {std::pair{PcmType(8, 1), true},
                                    {PcmType(12, 2), false},
                                    {test::MakeTestVideoType(test::MEDIASUBTYPE_TestA), false}}) {
    EXPECT_EQ(test::PinAt(g.renderer.Get(), 0)->QueryAccept(&type) == S_OK, taken)
        << type.majortype.Data1;
  }
  long volume = 1;
  ASSERT_EQ(S_OK, g.audio->get_Volume(&volume));
  EXPECT_EQ(volume, 0) << "full level at first";
  EXPECT_EQ(
      std::tuple(g.audio->put_Volume(-10000), g.audio->put_Volume(1), g.audio->put_Volume(-10001)),
      std::tuple(S_OK, E_INVALIDARG, E_INVALIDARG));
  g.audio->get_Volume(&volume);
  EXPECT_EQ(volume, -10000) << "the last value taken";
  EXPECT_EQ(std::pair(g.audio->get_Volume(nullptr), g.audio->put_Balance(0)),
            std::pair(E_POINTER, E_NOTIMPL));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(g.PlayToTheEnd(), EC_COMPLETE);
  EXPECT_FALSE(g.dsound->PlaysToServer());
  EXPECT_EQ(g.dsound->RenderedSamples(), 20);
  // The last sample starts at 190 ms of stream time: it cannot have been consumed earlier.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(180))
      << "paced by the clock, not thrown away";
}

}  // namespace
}  // namespace vidorra::filters
