// Sound capture from the sound server. Against a fake of the server seam: the listing (inputs
// only, unique names, stable identities, no server no entry), the formats, lost sound counted,
// the server going away mid-run reported as the device lost, a stop answered while waiting,
// sources coming and going reported to the graphs holding them. For real, against the test
// server's 1 kHz sine source: listed, recorded as a 1 kHz tone without a sample missing across
// buffers; a source unloaded and loaded again reaches the graphs holding it.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cmath>
#include <numbers>

#include "device_test_support.h"
#include "pulse/PulseCapture.h"

namespace vidorra::test {
namespace {

using devices::DeviceEntry;
using namespace devices::pulse;

// Where the tone (channel 0 of interleaved sound) does not go on from the samples before: the
// sine recurrence x[n] = 2 cos(w) x[n-1] - x[n-2] misses by more than a tenth of the peak at
// these sample positions (from the third on).
std::vector<size_t> Breaks(const std::vector<int16_t>& samples, int channels, int sampleRate) {
  const double c = std::cos(2 * std::numbers::pi * 1000.0 / sampleRate);
  const size_t frames = samples.size() / static_cast<size_t>(channels);
  const auto at = [&](size_t i) { return static_cast<double>(samples[i * channels]); };
  double peak = 0;
  for (size_t i = 0; i < frames; ++i) peak = std::max(peak, std::abs(at(i)));
  std::vector<size_t> breaks;
  for (size_t i = 2; i < frames; ++i) {
    if (std::abs(at(i) - (2 * c * at(i - 1) - at(i - 2))) > peak / 10) breaks.push_back(i);
  }
  return breaks;
}

// ---- The fake server ----

// A recording that sends a 1 kHz tone in 40 ms fragments, one per read, then follows a
// script: after `gone_after` fragments the server goes away; `overrun_at` marks a fragment
// after which the server reports lost sound.
struct FakeScript {
  // After the fragments available, reads wait (for the interrupt).
  int goneAfter = -1, overrunAt = -1, fragmentsAvailable = 1 << 30;
};

class FakeRecording : public PulseRecording {
 public:
  FakeRecording(RecordFormat format, FakeScript script) : format_(format), script_(script) {}
  Result Read(std::vector<uint8_t>* out, int interruptFd, int timeoutMs) override {
    if (timeoutMs == 0) return Result::kTimedOut;  // nothing buffered before the run
    if (sent_ == script_.goneAfter) return Result::kGone;
    if (sent_ >= script_.fragmentsAvailable) {
      pollfd fd{interruptFd, POLLIN, 0};
      return ::poll(&fd, 1, timeoutMs) > 0 ? Result::kInterrupted : Result::kTimedOut;
    }
    // Reads bring a fragment and a half: the device cuts its buffers across them.
    const size_t samples = format_.fragmentBytes * 3 / 2 / (2 * format_.channels);
    for (size_t i = 0; i < samples; ++i) {
      const double phase =
          2 * std::numbers::pi * 1000.0 * static_cast<double>(position_++) / format_.sampleRate;
      const auto value = static_cast<int16_t>(std::lround(8000 * std::sin(phase)));
      for (int c = 0; c < format_.channels; ++c) {
        out->push_back(static_cast<uint8_t>(value & 0xFF));
        out->push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
      }
    }
    if (sent_ == script_.overrunAt) ++overruns_;
    ++sent_;
    return Result::kData;
  }
  uint64_t Overruns() override { return overruns_; }

 private:
  const RecordFormat format_;
  const FakeScript script_;
  int sent_ = 0;
  uint64_t position_ = 0, overruns_ = 0;
};

// The server's source events: an eventfd the test writes when it changes the sources.
class FakeWatch : public PulseSourceWatch {
 public:
  FakeWatch(int eventFd, const std::atomic<bool>& gone) : eventFd_(eventFd), gone_(gone) {}
  Result Wait(int interruptFd) override {
    pollfd fds[2] = {{eventFd_, POLLIN, 0}, {interruptFd, POLLIN, 0}};
    while (::poll(fds, 2, -1) < 0) {
    }
    if (fds[1].revents) return Result::kInterrupted;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(eventFd_, &count, sizeof count);
    return gone_ ? Result::kGone : Result::kChanged;
  }

 private:
  const int eventFd_;
  const std::atomic<bool>& gone_;
};

class FakeSeam : public PulseSeam {
 public:
  ~FakeSeam() override { ::close(eventFd_); }
  std::optional<std::vector<PulseSource>> Sources() override {
    std::unique_lock lock(mutex_);
    std::optional<std::vector<PulseSource>> now = sources;
    lock.unlock();
    // Held (once) until someone subscribes again, or a deadline: the listing a lost server's
    // watcher makes stays in the middle of its report.
    if (holdListing.exchange(false)) {
      held = true;
      WaitUntil([&] { return watches > 1; });
    }
    return now;
  }
  std::unique_ptr<PulseRecording> Record(const std::string& source, const RecordFormat& format,
                                         std::string* error) override {
    std::lock_guard lock(mutex_);
    recorded = source;
    lastFormat = format;
    if (!sources) {
      *error = "no server";
      return nullptr;
    }
    return std::make_unique<FakeRecording>(format, script);
  }
  std::unique_ptr<PulseSourceWatch> WatchSources() override {
    std::lock_guard lock(mutex_);
    if (!sources) return nullptr;
    ++watches;
    return std::make_unique<FakeWatch>(eventFd_, gone_);
  }

  // The server's sources change (nullopt: the server goes away), and it says so.
  void Change(std::optional<std::vector<PulseSource>> now) {
    {
      std::lock_guard lock(mutex_);
      gone_ = !now;
      sources = std::move(now);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(eventFd_, &one, sizeof one);
  }

  std::mutex mutex_;
  std::optional<std::vector<PulseSource>> sources = std::vector<PulseSource>{
      {"alsa_input.usb-mic", "USB Microphone", false},
      {"alsa_output.card.monitor", "Monitor of Built-in Audio", true},
      {"alsa_input.card", "Built-in Audio", false},
      {"alsa_input.usb-mic-2", "USB Microphone", false},
  };
  std::atomic<bool> holdListing{false}, held{false};
  std::atomic<int> watches{0};
  FakeScript script;
  std::string recorded;
  RecordFormat lastFormat;

 private:
  const int eventFd_ = ::eventfd(0, EFD_CLOEXEC);
  std::atomic<bool> gone_{false};
};

ComPtr<IBaseFilter> Create(const DeviceEntry& entry) {
  ComPtr<IBaseFilter> filter;
  EXPECT_EQ(S_OK, entry.create(filter.GetAddressOf()));
  return filter;
}

using SoundGraph = LiveGraph<SoundSink>;

TEST(PulseCapture, OffersSixFormatsCountsLostSoundAndTheServerGoneMidRunIsTheDeviceLost) {
  auto seam = std::make_shared<FakeSeam>();
  ComPtr<IBaseFilter> filter = Create(PulseDevices(seam).Devices().at(1));
  ComPtr<IPin> pin = CapturePinOf(filter.Get());
  ASSERT_TRUE(pin);
  std::vector<std::tuple<DWORD, WORD, WORD>> modes;
  for (CMediaType type; (type = Capability(pin.Get(), int(modes.size()))).IsValid();) {
    const auto* wave = reinterpret_cast<const WAVEFORMATEX*>(type.Format());
    modes.emplace_back(wave->nSamplesPerSec, wave->nChannels, wave->wBitsPerSample);
  }
  EXPECT_EQ(modes, (std::vector<std::tuple<DWORD, WORD, WORD>>{
                       {48000, 2, 16}, {48000, 1, 16}, {44100, 2, 16}, {44100, 1, 16}, {32000, 2, 16}, {32000, 1, 16}}));
  ASSERT_EQ(S_OK, ChooseCapability(pin.Get(), 5));
  SoundGraph g(filter);
  ASSERT_TRUE(SUCCEEDED(g.Run()));
  ASSERT_TRUE(WaitUntil([&] { return g.sink->Pcm().size() >= 32000; }));
  g.Stop();
  EXPECT_EQ(std::tuple(seam->recorded, seam->lastFormat.sampleRate, seam->lastFormat.channels,
                       seam->lastFormat.fragmentBytes),
            std::tuple("alsa_input.card", 32000, 1, 32000u / 25 * 2)) << "40 ms fragments";
  EXPECT_NEAR(ToneFrequency(g.sink->Pcm(), 1, 0, 32000), 1000.0, 1.0);
  EXPECT_TRUE(Breaks(g.sink->Pcm(), 1, 32000).empty()) << "no sample lost or repeated";

  // Run again: lost sound counted; the stop comes while the device waits for sound (the fake
  // read waits for the interrupt, not for its timeout).
  seam->script = FakeScript{.overrunAt = 3, .fragmentsAvailable = 8};
  const size_t first = g.sink->Starts().size();
  ASSERT_TRUE(SUCCEEDED(g.Run()));
  ASSERT_TRUE(WaitUntil([&] { return Delivered(g.capture.Get()) >= 11; }));
  EXPECT_EQ(Dropped(g.capture.Get()), 1);
  EXPECT_EQ(g.Stop(), S_OK);
  const std::vector<REFERENCE_TIME> starts = g.sink->Starts();
  ASSERT_GE(starts.size(), first + 4);
  EXPECT_EQ(starts[first + 1] - starts[first], 400'000) << "40 ms buffers";
  EXPECT_EQ(starts[first + 2] - starts[first + 1], 400'000);

  // A third run: the server goes away mid-run, the device lost.
  seam->script = FakeScript{.goneAfter = 5};
  ASSERT_TRUE(SUCCEEDED(g.Run()));
  ASSERT_TRUE(WaitForGraphEvent(g.graph.Get(), EC_DEVICE_LOST)) << "EC_DEVICE_LOST";
  EXPECT_EQ(Delivered(g.capture.Get()), 7) << "the whole buffers in five reads of 60 ms";
  EXPECT_EQ(g.Stop(), S_OK);
}

// Input sources listed with unique names and stable identities (a sink's monitor is not an
// input); sources coming and going, and the server, reach the graphs holding them.
TEST(PulseCapture, ListsInputSourcesAndTheirComingAndGoingReachesTheGraphsHoldingThem) {
  auto seam = std::make_shared<FakeSeam>();
  PulseDevices provider(seam);
  const std::vector<DeviceEntry> entries = provider.Devices();
  std::vector<std::wstring> listed;
  for (const DeviceEntry& entry : entries)
    listed.push_back(entry.friendlyName + L" " + entry.displayName);
  EXPECT_EQ(listed, (std::vector<std::wstring>{L"USB Microphone @device:pulse:alsa_input.usb-mic",
                                               L"Built-in Audio @device:pulse:alsa_input.card",
                                               L"USB Microphone #2 @device:pulse:alsa_input.usb-mic-2"}));
  ASSERT_EQ(entries.size(), 3u);
  SoundGraph mic(Create(entries.at(0)));  // held, not running
  SoundGraph card(Create(entries.at(1)));
  const std::vector<PulseSource> all = *seam->Sources();

  seam->Change(std::vector<PulseSource>(all.begin() + 1, all.end()));
  ASSERT_EQ(NextDeviceLost(mic.graph.Get()), 0) << "the microphone unplugged";
  EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, mic.device->Pause());
  EXPECT_FALSE(NextGraphEvent(card.graph.Get(), {EC_DEVICE_LOST}, 0)) << "the other source stays";

  seam->Change(all);
  ASSERT_EQ(NextDeviceLost(mic.graph.Get()), 1) << "the microphone plugged back";
  EXPECT_EQ(provider.Devices().size(), 3u);
  ASSERT_TRUE(SUCCEEDED(mic.Run()));
  ASSERT_TRUE(WaitUntil([&] { return Delivered(mic.capture.Get()) >= 2; }));

  // A server back is subscribed to again by the next listing, even one made while the lost
  // server's watcher is still reporting; the running source's graph hears the loss all the same.
  seam->holdListing = true;
  seam->Change(std::nullopt);
  ASSERT_TRUE(WaitUntil([&] { return seam->held.load(); }));
  seam->Change(all);
  EXPECT_EQ(provider.Devices().size(), 3u);
  for (SoundGraph* g : {&mic, &card}) {
    EXPECT_EQ(NextDeviceLost(g->graph.Get()), 0) << "the server went away";
    EXPECT_EQ(NextDeviceLost(g->graph.Get()), 1) << "the server is back";
  }
  seam->Change(std::vector<PulseSource>(all.begin(), all.end() - 2));
  EXPECT_EQ(NextDeviceLost(card.graph.Get()), 0) << "heard through the new subscription";
  seam->Change(std::nullopt);
  EXPECT_TRUE(provider.Devices().empty()) << "no server, no entry, no error";
}

// ---- For real, against the test server ----

class PulseCaptureServer : public ::testing::Test {
 protected:
  void SetUp() override {
    sources_ = devices::pulse::MakeLibPulseSeam()->Sources();
    if (!sources_) GTEST_SKIP() << "no sound server (scripts/test starts one)";
  }
  std::optional<std::vector<PulseSource>> sources_;
  ScopedMachine machine_{"real-devices\n"};
};

// The sine source listed (no monitor, nothing without a server) and recorded.
TEST_F(PulseCaptureServer, ListsTheSineSourceAndRecordsItAsAContinuousOneKilohertzTone) {
  const std::vector<ListedDevice> listed = ListDevices(CLSID_AudioInputDeviceCategory);
  const auto sine = std::find_if(listed.begin(), listed.end(), [](const ListedDevice& d) {
    return d.displayName == L"@device:pulse:sine";
  });
  ASSERT_NE(sine, listed.end());
  EXPECT_FALSE(sine->friendlyName.empty());
  for (const ListedDevice& device : listed) {
    EXPECT_EQ(device.displayName.find(L".monitor"), std::wstring::npos)
        << WideToUtf8(device.displayName);
  }
  {
    ScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/vidorra/native");
    for (const ListedDevice& device : ListDevices(CLSID_AudioInputDeviceCategory)) {
      EXPECT_NE(device.displayName.rfind(L"@device:pulse:", 0), 0u) << "no server, no entry";
    }
  }
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(S_OK, sine->moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                              filter.ReleaseAndGetVoidAddressOf()));
  SoundGraph g(filter);
  ASSERT_TRUE(SUCCEEDED(g.Run()));
  constexpr size_t kSecond = 48000 * 2;
  ASSERT_TRUE(WaitUntil([&] { return g.sink->Pcm().size() >= kSecond; }));
  g.Stop();
  const std::vector<int16_t> samples = g.sink->Pcm();
  EXPECT_EQ(g.sink->Channels(), 2);
  EXPECT_NEAR(ToneFrequency(samples, 2, 0, 48000), 1000.0, 2.0);
  // A loaded machine may make the server lose some of the stream (overruns): the device counts
  // each loss as a dropped buffer and starts its times again from the clock, so every break
  // below must be one it counted. (Exact continuity is checked on the fake seam.)
  const long dropped = Dropped(g.capture.Get());

  // No run of samples missing between buffers: at each buffer's first sample the tone goes on
  // from the buffer before. (The server's own sound may break now and then elsewhere, under
  // load; a loss in the device would break at the boundaries, every time.)
  const std::vector<size_t> breaks = Breaks(samples, 2, 48000);
  constexpr size_t kBufferSamples = 48000 / 25;
  const size_t boundaries = samples.size() / 2 / kBufferSamples;
  const auto atBoundary =
      std::count_if(breaks.begin(), breaks.end(), [](size_t i) { return i % kBufferSamples <= 1; });
  EXPECT_LE(static_cast<size_t>(atBoundary), boundaries / 10 + static_cast<size_t>(dropped))
      << breaks.size() << " breaks, " << dropped << " dropped";
  // Buffers of 40 ms, one after the other.
  const std::vector<REFERENCE_TIME> starts = g.sink->Starts();
  ASSERT_GE(starts.size(), 10u);
  long restarts = 0;
  for (size_t i = 1; i < starts.size(); ++i) restarts += starts[i] - starts[i - 1] != 400'000;
  EXPECT_LE(restarts, dropped) << "every other buffer follows the one before";
}

// A source loaded with pactl, unloaded when the test ends.
class LoadedSource {
 public:
  explicit LoadedSource(const std::string& name) : name_(name) { Load(); }
  ~LoadedSource() { Unload(); }
  bool Loaded() const { return !module_.empty(); }
  void Load() {
    int status = -1;
    const std::string module = RunCommand(
        "pactl load-module module-sine-source source_name=" + name_ + " frequency=440", &status);
    if (status == 0) module_ = module;
  }
  bool Unload() {
    if (module_.empty()) return false;
    int status = -1;
    RunCommand("pactl unload-module " + module_, &status);
    module_.clear();
    return status == 0;
  }

 private:
  const std::string name_;
  std::string module_;
};

// The graph holding the source running hears of its removal from the stream or from the
// server's events; the one holding it stopped only from the events, as both do of its return.
TEST_F(PulseCaptureServer, ASourceUnloadedAndLoadedAgainReachesTheGraphsHoldingIt) {
  LoadedSource source("vidorra_unplugged");
  ASSERT_TRUE(source.Loaded()) << "pactl";
  ComPtr<IMoniker> moniker;
  ASSERT_EQ(S_OK, CreateDeviceMoniker(L"@device:pulse:vidorra_unplugged", moniker.GetAddressOf()));
  ComPtr<IBaseFilter> filters[2];  // each binding makes a filter of its own
  for (ComPtr<IBaseFilter>& filter : filters) {
    ASSERT_EQ(S_OK, moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                          filter.ReleaseAndGetVoidAddressOf()));
  }
  SoundGraph running(filters[0]);
  SoundGraph held(filters[1]);
  ASSERT_TRUE(SUCCEEDED(running.Run()));
  EXPECT_TRUE(WaitUntil([&] { return Delivered(running.capture.Get()) >= 1; }));

  ASSERT_TRUE(source.Unload()) << "pactl";
  for (SoundGraph* g : {&running, &held}) {
    EXPECT_EQ(NextDeviceLost(g->graph.Get()), 0) << "the stream is not moved to another source";
  }
  EXPECT_EQ(running.Stop(), S_OK);

  source.Load();
  ASSERT_TRUE(source.Loaded()) << "pactl";
  for (SoundGraph* g : {&running, &held}) {
    EXPECT_EQ(NextDeviceLost(g->graph.Get()), 1) << "the source is back";
  }
  ASSERT_TRUE(SUCCEEDED(held.Run()));
  EXPECT_TRUE(WaitUntil([&] { return Delivered(held.capture.Get()) >= 1; }));
}

}  // namespace
}  // namespace vidorra::test
