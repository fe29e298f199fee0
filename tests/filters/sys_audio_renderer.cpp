// "Default DirectSound Device": registration, accepted types, IBasicAudio volume mapped onto
// the server's stream, playing a graph to its end with and without a sound server.
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

CMediaType PcmType(WORD bits = 16, WORD channels = 2) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.nAvgBytesPerSec = kRate * format.nBlockAlign;
  CMediaType mt(&MEDIATYPE_Audio);
  mt.SetSubtype(&MEDIASUBTYPE_PCM);
  mt.SetFormatType(&FORMAT_WaveFormatEx);
  mt.SetFormat(reinterpret_cast<const BYTE*>(&format), sizeof(format));
  mt.SetSampleSize(format.nAvgBytesPerSec / 100);  // 10 ms a sample
  return mt;
}

bool PulseAudioOutputAvailable() {
  vidorra::filters::PulseAudioOutput probe("probe");
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = kRate;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = kRate * 4;
  return probe.Open(format);
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
  ASSERT_TRUE(renderer);
  ComPtr<IPin> input = PinAtIndex(renderer.Get(), 0);
  const CMediaType stereo16 = PcmType();
  const CMediaType mono8 = PcmType(8, 1);
  const CMediaType twelveBit = PcmType(12, 2);
  const CMediaType video = MakeTestVideoType(MEDIASUBTYPE_TestA);
  EXPECT_EQ(S_OK, input->QueryAccept(&stereo16));
  EXPECT_EQ(S_OK, input->QueryAccept(&mono8));
  EXPECT_NE(S_OK, input->QueryAccept(&twelveBit));
  EXPECT_NE(S_OK, input->QueryAccept(&video));
}

TEST(SysAudioRenderer, VolumeInHundredthsOfADecibel) {
  ComPtr<IBaseFilter> renderer = NewSystemFilter(CLSID_DSoundRender);
  auto audio = QueryAs<IBasicAudio>(renderer.Get());
  ASSERT_TRUE(audio);
  long volume = 1;
  ASSERT_EQ(S_OK, audio->get_Volume(&volume));
  EXPECT_EQ(volume, 0) << "full level at first";
  EXPECT_EQ(S_OK, audio->put_Volume(-10000));
  audio->get_Volume(&volume);
  EXPECT_EQ(volume, -10000);
  EXPECT_EQ(E_INVALIDARG, audio->put_Volume(1));
  EXPECT_EQ(E_INVALIDARG, audio->put_Volume(-10001));
  audio->get_Volume(&volume);
  EXPECT_EQ(volume, -10000) << "a refused value changes nothing";
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

TEST(SysAudioRenderer, ListedAmongTheAudioRenderers) {
  ComPtr<ICreateDevEnum> devices;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_ICreateDevEnum, devices.ReleaseAndGetVoidAddressOf()));
  ComPtr<IEnumMoniker> monikers;
  ASSERT_EQ(S_OK, devices->CreateClassEnumerator(CLSID_AudioRendererCategory,
                                                 monikers.GetAddressOf(), 0));
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(S_OK, monikers->Next(1, moniker.GetAddressOf(), nullptr));
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                        filter.ReleaseAndGetVoidAddressOf()));
  CLSID clsid{};
  filter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_DSoundRender);
}

}  // namespace
}  // namespace vidorra::test
