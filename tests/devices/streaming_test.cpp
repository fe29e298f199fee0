// Live streaming of the simulated devices on a clock the test moves: real-time pacing and
// capture time stamps, frames lost and counted when downstream holds every buffer or reads
// late, pause and stop, the preview pin, the DV camcorder's sound through the DV Splitter, and
// the sound devices.
#include <cmath>
#include <future>
#include <numbers>

#include "device_test_support.h"

namespace vidorra::test {
namespace {

constexpr REFERENCE_TIME k30Fps = 333333, k25Fps = 400000;

// A renderer that, when told to, keeps the samples it gets until told to let them go, as a slow
// consumer holding every buffer would.
class HoldingSink : public PatternSink {
 public:
  HRESULT DoRenderSample(IMediaSample* sample) override {
    {
      std::lock_guard lock(mutex_);
      if (holding_) held_.emplace_back(sample);
    }
    return PatternSink::DoRenderSample(sample);
  }
  void Hold(bool holding) {
    std::lock_guard lock(mutex_);
    holding_ = holding;
    if (!holding) held_.clear();
  }

 private:
  std::mutex mutex_;
  bool holding_ = false;
  std::vector<ComPtr<IMediaSample>> held_;
};

class Streaming : public ::testing::Test {
 protected:
  ScopedMachine machine_{
      "video capture Grabber\n"
      "video webcam Webcam\n"
      "video dv Camcorder\n"
      "video dv-ntsc Camcorder NTSC\n"
      "audio tone Tone\n"
      "audio tv-audio TV Sound\n"};
  ClockedGraph g_;
  ComPtr<IBaseFilter> source_;
  ComPtr<HoldingSink> sink_ = MakeComObject<HoldingSink>();
};

// Nothing comes while paused. Frames come on the clock once the graph runs, never before, with
// their capture times (stream time starting with the run); a reader late by twenty frame times
// gets the device's queued frames (the last ten, 0.4 s at 25 frames/s: what a busy machine may
// hold a streaming thread up for) and loses the older ones, counted. Stop wakes the source
// waiting on the clock at once.
TEST_F(Streaming, FramesComeOnTheClockOnceRunningALateReaderGetsTheQueuedOnesAndStopIsAtOnce) {
  ComPtr<IPin> capture = g_.Capture(L"Grabber", sink_.Get(), 2, &source_);
  QueryAs<IMediaControl>(g_.graph.Get())->Pause();
  constexpr REFERENCE_TIME kRun = 5 * k30Fps;  // the clock when the graph runs
  g_.AdvanceTo(kRun);
  FILTER_STATE state;
  EXPECT_EQ(VFW_S_CANT_CUE, source_->GetState(0, &state));
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(sink_->Count(), 0u);
  ASSERT_EQ(S_OK, QueryAs<IMediaFilter>(g_.graph.Get())->Run(kRun));
  for (long n = 0; n < 10; ++n) {
    g_.AdvanceTo(kRun + n * k30Fps);
    ASSERT_TRUE(WaitUntil([&] { return sink_->Count() == static_cast<size_t>(n + 1); }));
    // Once the source waits on the clock for the next frame, nothing more comes.
    ASSERT_TRUE(WaitUntil([&] { return g_.clock->PendingAdvises() > 0; }));
    EXPECT_EQ(sink_->Count(), static_cast<size_t>(n + 1));
  }
  const auto starts = sink_->Starts();
  for (size_t n = 0; n < starts.size(); ++n) EXPECT_EQ(starts[n], static_cast<REFERENCE_TIME>(n) * k30Fps);
  EXPECT_EQ(Dropped(capture.Get()), 0);
  g_.AdvanceTo(kRun + 29 * k30Fps);
  ASSERT_TRUE(WaitUntil([&] { return sink_->Count() == 20; }));
  ASSERT_TRUE(WaitUntil([&] { return g_.clock->PendingAdvises() > 0; }));
  EXPECT_EQ(FromFirst(sink_->Numbers()),
            (std::vector<std::optional<uint32_t>>{0,  1,  2,  3,  4,  5,  6,  7,  8,  9,
                                                  20, 21, 22, 23, 24, 25, 26, 27, 28, 29}));
  EXPECT_EQ(Delivered(capture.Get()), 20);
  EXPECT_EQ(Dropped(capture.Get()), 10);
  // The source waits for a clock that never moves; Stop must not wait for it.
  auto stopped = std::async(std::launch::async, [&] { return g_.Stop(); });
  ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(stopped.get(), S_OK);
}

TEST_F(Streaming, AFrameWithoutAFreeBufferIsDroppedAndCounted) {
  ComPtr<IPin> capture = g_.Capture(L"Grabber", sink_.Get(), 2, &source_);
  sink_->Hold(true);
  ASSERT_EQ(S_OK, g_.Run());
  // The sink keeps every buffer: after the pool is empty the device drops, and is not held up.
  for (long n = 0; n < 8; ++n) {
    g_.AdvanceTo(n * k30Fps);
    ASSERT_TRUE(
        WaitUntil([&] { return Delivered(capture.Get()) + Dropped(capture.Get()) == n + 1; }));
  }
  const long delivered = Delivered(capture.Get());
  EXPECT_GE(delivered, 1);
  EXPECT_EQ(Dropped(capture.Get()), 8 - delivered);
  sink_->Hold(false);
  g_.AdvanceTo(8 * k30Fps);
  ASSERT_TRUE(WaitUntil([&] { return Delivered(capture.Get()) == delivered + 1; }));
  EXPECT_EQ(FromFirst(sink_->Numbers()).back(), 8u);
  std::vector<long> dropped(16);
  long copied = 0;
  QueryAs<IAMDroppedFrames>(capture.Get())->GetDroppedInfo(16, dropped.data(), &copied);
  ASSERT_EQ(copied, 8 - delivered);
  EXPECT_EQ(dropped[0], delivered) << "the numbers of the frames lost";
  g_.Stop();
}

TEST_F(Streaming, WithoutAGraphClockTheDeviceKeepsRealTime) {
  ComPtr<IPin> capture = g_.Capture(L"Grabber", sink_.Get(), 2, &source_);
  QueryAs<IMediaFilter>(g_.graph.Get())->SetSyncSource(nullptr);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(S_OK, QueryAs<IMediaControl>(g_.graph.Get())->Run());
  ASSERT_TRUE(WaitUntil([&] { return sink_->Count() >= 3; }));
  g_.Stop();
  // Never more frames than the time that passed allows (load can only make fewer).
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LE(static_cast<double>(sink_->Count()), seconds * 1e7 / k30Fps + 1);
}

TEST_F(Streaming, ThePreviewPinShowsTheSameFramesWithoutTimes) {
  ComPtr<PatternSink> recorded = MakeComObject<PatternSink>(), shown = MakeComObject<PatternSink>();
  ComPtr<IPin> capture = g_.Capture(L"Webcam", recorded.Get(), 2, &source_);
  ASSERT_EQ(S_OK, g_.ConnectToSink(PinNamed(source_.Get(), L"Preview").Get(), shown.Get()));
  ASSERT_EQ(S_OK, g_.Run());
  ASSERT_TRUE(StepFrames(g_, capture.Get(), 5, k30Fps));
  ASSERT_TRUE(WaitUntil([&] { return shown->Count() == 5; }));
  g_.Stop();
  EXPECT_EQ(shown->Numbers(), recorded->Numbers());
  for (REFERENCE_TIME start : shown->Starts()) EXPECT_EQ(start, -1);
}

// The camcorders' sound through the DV Splitter, PAL and NTSC: 48 kHz locked to the frames
// (1920 samples a PAL frame, 8008 in five NTSC ones), the tone at -12 dBFS on both channels, its
// phase running on from frame to frame: a pure sine, each sample 2 cos(w) times the one before
// less the one before that. (Their pictures through the splitter and the decoder, every one in
// order: the deinterlaced preview test.)
TEST_F(Streaming, TheCamcordersSendTheirToneInEveryDvFrame) {
  for (const auto& [name, interval, frames, samples] :
       {std::tuple(L"Camcorder", k25Fps, 12, 12u * 1920),
        {L"Camcorder NTSC", 333667, 10, 2u * 8008}}) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(name)));
    ClockedGraph g;
    ComPtr<IBaseFilter> camcorder = g.AddDevice(CLSID_VideoInputDeviceCategory, name);
    ComPtr<IBaseFilter> splitter = CreateFilter(CLSID_DVSplitter);
    ComPtr<SoundSink> sound = MakeComObject<SoundSink>();
    ASSERT_EQ(S_OK, g.graph->AddFilter(splitter.Get(), L"DV Splitter"));
    ComPtr<IPin> dv = PinNamed(camcorder.Get(), L"DV A/V Out");
    ASSERT_EQ(S_OK, g.graph->ConnectDirect(dv.Get(), PinAt(splitter.Get(), 0).Get(), nullptr));
    ASSERT_EQ(S_OK, g.ConnectToSink(PinAt(splitter.Get(), 2).Get(), sound.Get()));
    ASSERT_EQ(S_OK, g.Run());
    ASSERT_TRUE(StepFrames(g, dv.Get(), frames, interval));
    ASSERT_TRUE(WaitUntil([&] { return sound->Pcm().size() >= samples * 2; }));
    g.Stop();
    const auto pcm = sound->Pcm();
    ASSERT_EQ(sound->Channels(), 2);
    EXPECT_EQ(pcm.size(), samples * 2);
    EXPECT_NEAR(*std::max_element(pcm.begin(), pcm.end()), 8231, 2) << "-12 dBFS";
    const double twoCos = 2 * std::cos(2 * std::numbers::pi * 1000 / 48000);
    for (size_t at = 4; at < pcm.size(); ++at) {  // interleaved: a channel's last two before
      ASSERT_NEAR(pcm[at], twoCos * pcm[at - 2] - pcm[at - 4], 3) << "at " << at;
    }
  }
}

// The sound devices: the tone in buffers of continuous phase at the chosen format, the TV sound
// in the mode chosen.
TEST_F(Streaming, SoundComesInBuffersOfContinuousPhaseAtTheChosenFormatAndTheTvSoundModeIsHeard) {
  ComPtr<IBaseFilter> tone = g_.AddDevice(CLSID_AudioInputDeviceCategory, L"Tone");
  ComPtr<SoundSink> sink = MakeComObject<SoundSink>();
  ComPtr<IPin> pin = CapturePinOf(tone.Get());
  ASSERT_EQ(S_OK, ChooseCapability(pin.Get(), 3));  // 44.1 kHz mono
  ASSERT_EQ(S_OK, g_.ConnectToSink(pin.Get(), sink.Get()));
  ComPtr<IBaseFilter> device = g_.AddDevice(CLSID_AudioInputDeviceCategory, L"TV Sound");
  ComPtr<IAMTVAudio> tv = QueryAs<IAMTVAudio>(device.Get());
  ASSERT_TRUE(tv);
  long modes = 0;
  tv->GetHardwareSupportedTVAudioModes(&modes);
  EXPECT_EQ(modes, AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO | AMTVAUDIO_MODE_LANG_A |
                       AMTVAUDIO_MODE_LANG_B);
  EXPECT_EQ(E_INVALIDARG, tv->put_TVAudioMode(AMTVAUDIO_MODE_LANG_C));
  EXPECT_EQ(E_INVALIDARG, tv->put_TVAudioMode(AMTVAUDIO_MODE_MONO | AMTVAUDIO_MODE_STEREO));
  ASSERT_EQ(S_OK, tv->put_TVAudioMode(AMTVAUDIO_MODE_STEREO | AMTVAUDIO_MODE_LANG_B));
  ComPtr<SoundSink> tvSink = MakeComObject<SoundSink>();
  ComPtr<IPin> tvPin = CapturePinOf(device.Get());
  ASSERT_EQ(S_OK, g_.ConnectToSink(tvPin.Get(), tvSink.Get()));
  ASSERT_EQ(S_OK, g_.Run());
  // A buffer is a fiftieth of a second, delivered once its last sample is captured.
  constexpr REFERENCE_TIME kBuffer = 200000;
  for (long n = 1; n <= 10; ++n) {
    g_.AdvanceTo(n * kBuffer);
    ASSERT_TRUE(
        WaitUntil([&] { return Delivered(pin.Get()) == n && Delivered(tvPin.Get()) == n; }));
  }
  g_.Stop();
  const auto samples = sink->Pcm();
  ASSERT_EQ(samples.size(), 10u * 882);
  // Sample n is the sine at n, whatever buffer it is in.
  for (size_t n = 0; n < samples.size(); n += 97) {
    const double expected = 8230.9 * std::sin(2 * 3.14159265358979 * 1000.0 * n / 44100.0);
    EXPECT_NEAR(samples[n], expected, 1.5) << n;
  }
  const auto starts = sink->Starts();
  for (size_t k = 0; k < starts.size(); ++k) {
    EXPECT_EQ(starts[k], static_cast<REFERENCE_TIME>(k * 882 * 10'000'000ull / 44100));
  }
  EXPECT_NEAR(ToneFrequency(tvSink->Pcm(), 2, 0, 48000), 500, 1) << "language B";
}

}  // namespace
}  // namespace vidorra::test
