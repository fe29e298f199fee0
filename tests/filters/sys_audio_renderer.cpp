// "Default DirectSound Device": accepted types, IBasicAudio volume mapped onto the server's
// stream, playing a graph to its end with and without a sound server.
#include <DSoundRender.h>
#include <TestPushSource.h>
#include <pulse/volume.h>
#include <scoped_env.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include "sys_filter_support.h"

namespace vidorra::test {
namespace {

using vidorra::filters::CDSoundRender;

constexpr DWORD kRate = 48000;
constexpr REFERENCE_TIME kTenMs = 100'000;

WAVEFORMATEX PcmFormat(WORD bits = 16, WORD channels = 2) {
  const WORD align = static_cast<WORD>(channels * bits / 8);
  return {WAVE_FORMAT_PCM, channels, kRate, kRate * align, align, bits, 0};
}

CMediaType PcmType(WORD bits = 16, WORD channels = 2) {
  const WAVEFORMATEX format = PcmFormat(bits, channels);
  CMediaType mt(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
  mt.SetSampleSize(format.nAvgBytesPerSec / 100);  // 10 ms a sample
  return mt;
}

bool PulseAudioOutputAvailable() {
  return vidorra::filters::PulseAudioOutput("probe").Open(PcmFormat());
}

struct AudioGraph {
  ComPtr<IGraphBuilder> graph = NewSysGraph();
  ComPtr<TestPushSource> source;
  ComPtr<IBaseFilter> renderer = NewSystemFilter(CLSID_DSoundRender);
  CDSoundRender* dsound = static_cast<CDSoundRender*>(renderer.Get());

  explicit AudioGraph(int frames) {
    TestPushSourceConfig config;
    config.mediaType = PcmType();
    config.frameCount = frames;
    config.frameDuration = kTenMs;
    source = MakeComObject<TestPushSource>(config);
    graph->AddFilter(source.Get(), L"Source");
    graph->AddFilter(renderer.Get(), L"Audio");
    EXPECT_EQ(S_OK, graph->ConnectDirect(source->OutputPin(), PinAtIndex(renderer.Get(), 0).Get(),
                                         nullptr));
  }
  long RunToCompletion() {
    EXPECT_TRUE(SUCCEEDED(RunGraph(graph.Get())));
    long code = 0;
    EXPECT_EQ(S_OK, QueryAs<IMediaEvent>(graph.Get())->WaitForCompletion(10'000, &code));
    return code;
  }
};

TEST(SysAudioRenderer, AcceptsIntegerPcmOnly) {
  ComPtr<IBaseFilter> renderer = NewSystemFilter(CLSID_DSoundRender);
  ComPtr<IPin> input = PinAtIndex(renderer.Get(), 0);
  ASSERT_TRUE(input);
  const std::pair<CMediaType, bool> cases[] = {{PcmType(), true},
                                               {PcmType(8, 1), true},
                                               {PcmType(12, 2), false},
                                               {MakeTestVideoType(MEDIASUBTYPE_TestA), false}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(input->QueryAccept(&cases[i].first) == S_OK, cases[i].second) << "case " << i;
  }
}

TEST(SysAudioRenderer, VolumeInHundredthsOfADecibel) {
  ComPtr<IBaseFilter> renderer = NewSystemFilter(CLSID_DSoundRender);
  auto audio = QueryAs<IBasicAudio>(renderer.Get());
  ASSERT_TRUE(audio);
  long volume = 1;
  ASSERT_EQ(S_OK, audio->get_Volume(&volume));
  EXPECT_EQ(volume, 0) << "full level at first";
  EXPECT_EQ(S_OK, audio->put_Volume(-10000));
  EXPECT_EQ(E_INVALIDARG, audio->put_Volume(1));
  EXPECT_EQ(E_INVALIDARG, audio->put_Volume(-10001));
  audio->get_Volume(&volume);
  EXPECT_EQ(volume, -10000) << "the last value taken; a refused one changes nothing";
  EXPECT_EQ(E_POINTER, audio->get_Volume(nullptr));
  EXPECT_EQ(E_NOTIMPL, audio->put_Balance(0));
}

TEST(SysAudioRenderer, PlaysToTheServerWithTheVolumeOnTheStream) {
  AudioGraph g(30);
  if (!PulseAudioOutputAvailable()) GTEST_SKIP() << "no sound server (scripts/test starts one)";
  auto audio = QueryAs<IBasicAudio>(g.renderer.Get());
  ASSERT_EQ(S_OK, audio->put_Volume(-2000));
  ASSERT_TRUE(SUCCEEDED(RunGraph(g.graph.Get())));
  EXPECT_TRUE(WaitUntil([&] { return g.dsound->PlaysToServer(); }));
  EXPECT_EQ(g.dsound->ServerVolume(), pa_sw_volume_from_dB(-20.0)) << "set before the run";
  ASSERT_EQ(S_OK, audio->put_Volume(-10000));
  EXPECT_EQ(g.dsound->ServerVolume(), PA_VOLUME_MUTED) << "changed while running";
  long code = 0;
  EXPECT_EQ(S_OK, QueryAs<IMediaEvent>(g.graph.Get())->WaitForCompletion(10'000, &code));
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(g.dsound->RenderedSamples(), 30);
  StopGraph(g.graph.Get());
}

TEST(SysAudioRenderer, WithoutServerConsumesOnTheClock) {
  ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/vidorra/native");
  constexpr int kFrames = 20;
  AudioGraph g(kFrames);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(g.RunToCompletion(), EC_COMPLETE);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(g.dsound->PlaysToServer());
  EXPECT_EQ(g.dsound->RenderedSamples(), kFrames);
  // The last sample starts at 190 ms of stream time: it cannot have been consumed earlier.
  EXPECT_GE(elapsed, std::chrono::milliseconds(180)) << "paced by the clock, not thrown away";
  StopGraph(g.graph.Get());
}

}  // namespace
}  // namespace vidorra::test
