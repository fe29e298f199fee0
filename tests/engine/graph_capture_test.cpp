// The recording graphs of every format, with and without each sound, read back with ffprobe,
// ffmpeg and our reader: streams, codecs, every frame's number in sequence, the master stream,
// the cut.
#include <avi/AviReader.h>
#include <thread_scheduling.h>

#include "EngineTestSupport.h"

using namespace engine_test;

namespace {

constexpr const char* kMachine =
    "video dv Caméscope DV\n"
    "video webcam Webcam\n"
    "video capture Carte d'acquisition\n"
    "video tv Carte TV\n"
    "audio tone Micro\n";

enum class Format { kNative, kDVType2, kPal, kNtsc };

struct Recording {
  const char* source;
  Format format;
  bool dvAudio, sourceAudio;  // "audio DV", "Ajouter Audio"
  // What the file holds: the video codec and size, then the sound streams.
  const char* codec;
  int width, height, soundStreams;
  // The stream the multiplexer follows: the first sound, the picture (0) when it is the
  // camcorder's DV (it keeps DV's exact rate), or none (-1).
  LONG master;
};

using R = Recording;

std::string NameOf(const ::testing::TestParamInfo<Recording>& info) {
  const Recording& r = info.param;
  const char* formats[] = {"Native", "DVType2", "Pal", "Ntsc"};
  return formats[static_cast<int>(r.format)] + ("_" + std::string(r.codec)) +
         std::to_string(info.index) + (r.dvAudio ? "_DVAudio" : "") +
         (r.sourceAudio ? "_SourceAudio" : "");
}

// Frames recorded per file: enough for the graph to settle, few enough to stay fast.
constexpr size_t kGrabbedFrames = 30;

class RecordingTest : public EngineTest, public ::testing::WithParamInterface<Recording> {
 protected:
  // Builds the preview, then the recording graph of `r` into `path` (after one refused for a
  // file without a name).
  bool Build(const Recording& r, const QString& path) {
    TdmCam& dm = Module();
    EXPECT_TRUE(Select(r.source, "Micro"));
    dm.RecordDVAudio = r.dvAudio;
    dm.RecordAudioSource = r.sourceAudio;
    // The webcam's first format, MJPG 1280x720, costs the simulated camera a JPEG coding a
    // frame, more than a sanitizer build keeps up with at 30 frames/s: it is recorded in its
    // first YUY2 format, as a user picks it on the capture pin's page.
    if (QString::fromUtf8(r.source) == QStringLiteral("Webcam")) {
      const ComPtr<IPin> pin = vt::CapturePinOf(QueryAs<IBaseFilter>(dm.VideoSource).Get());
      int i = 0;
      while (vt::Capability(pin.Get(), i).subtype != MEDIASUBTYPE_YUY2) ++i;
      EXPECT_EQ(vt::ChooseCapability(pin.Get(), i), S_OK);
    }
    if (!dm.BuildPreviewGraph(window_->MemberFilter())) return false;
    const auto build = [&](const QString& file) {
      switch (r.format) {
        case Format::kNative:
          return dm.BuildNativeCaptureGraph(file, window_->MemberFilter());
        case Format::kDVType2:
          return dm.BuildDVType2CaptureGraph(file);
        case Format::kPal:
          return dm.BuildRecompressCaptureGraph(file, 0);
        case Format::kNtsc:
          return dm.BuildRecompressCaptureGraph(file, 1);
      }
      return false;
    };
    EXPECT_FALSE(build(QString())) << "a file the writer refuses";
    return build(path);
  }

  // Checks the file's streams against `r`; its frame numbers, in order (empty on a failure).
  std::vector<uint32_t> CheckFile(const Recording& r, const QString& path) {
    const std::string file = path.toStdString();
    const std::vector<vt::ProbedStream> streams = vt::Probe(file);
    // The video stream, then the sound streams (a DV type 1 stream beside a second sound shows
    // as a stream of no known type).
    std::string described, expected = "video:" + std::string(r.codec) + " ";
    const vt::ProbedStream* firstSound = nullptr;
    for (const vt::ProbedStream& s : streams) {
      if (s.type != "video" && s.type != "audio") continue;
      described += s.type + ":" + s.codec + " ";
      if (s.type == "audio" && firstSound == nullptr) firstSound = &s;
    }
    for (int i = 0; i < r.soundStreams; ++i) expected += "audio:pcm_s16le ";
    EXPECT_EQ(described, expected);
    if (streams.empty()) return {};
    const vt::ProbedStream& video = streams.front();
    EXPECT_EQ(std::pair(video.width, video.height), std::pair(r.width, r.height));
    const std::vector<uint32_t> numbers = vt::NumberedFrames(file, r.width, r.height);
    // Our reader finds those frames in the file's index, a lost one an empty place.
    const std::optional<vidorra::avi::AviFileInfo> read = vidorra::avi::AviReader::Read(file);
    EXPECT_TRUE(read && !read->streams.empty() &&
                std::ranges::count_if(read->streams[0].odmlChunks,
                                      [](const auto& c) { return c.size > 0; }) == video.frames);
    EXPECT_GE(numbers.size(), kGrabbedFrames / 2);
    if (firstSound != nullptr && video.frameRate > 0) {
      // Sound and picture last as long, within two frames for such a short recording.
      const double pictureSeconds = static_cast<double>(video.frames) / video.frameRate;
      const long samples = vt::RecordedSoundSamples(file, firstSound->channels);
      const double soundSeconds =
          static_cast<double>(samples) / std::max(1, firstSound->sampleRate);
      EXPECT_NEAR(soundSeconds, pictureSeconds, 2.0 / video.frameRate);
    }
    return numbers;
  }
};

}  // namespace

// Every frame of each format recorded. Then, for one row per format (no separate sound, the DV
// sound only in type 1), a cut: the graph stopped, the file writer given the next name, the graph
// run again. Both files are whole, and the cut loses 0 to 2 frames: the gap between the last
// frame number of the first file and the first of the second (the devices number their frames
// by a clock that runs from their plug-in).
TEST_P(RecordingTest, RecordsEveryFrameInItsFormatAndACutContinuesIt) {
  const Recording& r = GetParam();
  TdmCam& dm = Prepare(kMachine);
  const QString first = dir_.filePath(QStringLiteral("first.avi"));
  ASSERT_TRUE(Build(r, first));
  SCOPED_TRACE(FiltersInGraph().join(u' ').toStdString());
  LONG master = -2;
  EXPECT_EQ(QueryAs<IConfigAviMux>(dm.AviMux.Get())->GetMasterStream(&master), S_OK);
  EXPECT_EQ(master, r.master);
  WatchGrabber();
  ASSERT_TRUE(dm.fg->RunGraph());
  ASSERT_TRUE(vt::WaitUntil([&] { return grabbed_ >= kGrabbedFrames; }));
  // On a busy machine the capture goes on and the preview gives way: the threads of the capture
  // path run raised (where the machine allows any raise), the preview's as they were.
  if (vt::MayRaiseThreads()) {
    int raised = 0;
    for (const vt::ThreadScheduling& thread : vt::ProcessThreads()) {
      if (thread.name == "capture" || thread.name == "avi-writer") {
        EXPECT_TRUE(thread.Raised()) << thread.name;
        ++raised;
      }
      if (thread.name == "tee-preview") {
        EXPECT_FALSE(thread.Raised()) << thread.name;
      }
    }
    EXPECT_GE(raised, 2) << "the device's and the writer's";
  }
  ASSERT_TRUE(dm.fg->StopGraph());
  if (r.sourceAudio || (r.dvAudio && r.format != Format::kNative)) {
    EXPECT_FALSE(CheckFile(r, first).empty());
    return;
  }
  // The cut at once (the first file read back after it).
  const QString second = dir_.filePath(QStringLiteral("second.avi"));
  const size_t before = grabbed_;
  ASSERT_TRUE(dm.SwitchOutputFile(second));
  ASSERT_TRUE(dm.fg->RunGraph());
  ASSERT_TRUE(vt::WaitUntil([&] { return grabbed_ >= before + kGrabbedFrames; }));
  ASSERT_TRUE(dm.fg->StopGraph());
  const std::vector<uint32_t> a = CheckFile(r, first);
  const std::vector<uint32_t> b = CheckFile(r, second);
  ASSERT_FALSE(a.empty() || b.empty());
  ASSERT_GT(b.front(), a.back()) << "no frame in both files";
  const long lost = static_cast<long>(b.front() - a.back()) - 1;
  RecordProperty("FramesLostAtTheCut", static_cast<int>(lost));
  EXPECT_LE(lost, 2) << "frames lost at the cut";
}

INSTANTIATE_TEST_SUITE_P(
    DVCamcorder, RecordingTest,
    ::testing::Values(
        // DV type 1: the interleaved stream, which ffmpeg reads as DV picture and DV sound when
        // it is the file's only stream; beside a second sound stream it shows the picture only.
        R{"Caméscope DV", Format::kNative, true, false, "dvvideo", 720, 576, 1, -1},
        R{"Caméscope DV", Format::kNative, false, false, "dvvideo", 720, 576, 1, -1},
        R{"Caméscope DV", Format::kNative, true, true, "dvvideo", 720, 576, 1, 0},
        R{"Caméscope DV", Format::kNative, false, true, "dvvideo", 720, 576, 1, 0},
        R{"Caméscope DV", Format::kDVType2, true, false, "dvvideo", 720, 576, 1, 0},
        R{"Caméscope DV", Format::kDVType2, false, false, "dvvideo", 720, 576, 0, -1},
        R{"Caméscope DV", Format::kDVType2, true, true, "dvvideo", 720, 576, 2, 0},
        R{"Caméscope DV", Format::kDVType2, false, true, "dvvideo", 720, 576, 1, -1},
        R{"Caméscope DV", Format::kPal, true, false, "dvvideo", 720, 576, 1, 1},
        R{"Caméscope DV", Format::kPal, false, false, "dvvideo", 720, 576, 0, -1},
        R{"Caméscope DV", Format::kPal, true, true, "dvvideo", 720, 576, 2, 1},
        R{"Caméscope DV", Format::kPal, false, true, "dvvideo", 720, 576, 1, 1},
        R{"Caméscope DV", Format::kNtsc, true, false, "dvvideo", 720, 480, 1, 1},
        R{"Caméscope DV", Format::kNtsc, false, false, "dvvideo", 720, 480, 0, -1},
        R{"Caméscope DV", Format::kNtsc, true, true, "dvvideo", 720, 480, 2, 1},
        R{"Caméscope DV", Format::kNtsc, false, true, "dvvideo", 720, 480, 1, 1}),
    NameOf);

INSTANTIATE_TEST_SUITE_P(
    OtherSources, RecordingTest,
    ::testing::Values(
        // The webcam runs at 30 frames/s: it goes to NTSC DV, whose rate is its own.
        R{"Webcam", Format::kNative, false, false, "rawvideo", 640, 480, 0, -1},
        R{"Webcam", Format::kNtsc, false, true, "dvvideo", 720, 480, 1, 1},
        R{"Carte d'acquisition", Format::kNative, false, true, "rawvideo", 720, 576, 1, 1},
        R{"Carte d'acquisition", Format::kPal, false, false, "dvvideo", 720, 576, 0, -1},
        R{"Carte TV", Format::kNative, false, false, "rawvideo", 720, 576, 0, -1},
        R{"Carte TV", Format::kNtsc, false, false, "dvvideo", 720, 480, 0, -1}),
    NameOf);

// A minute of a camcorder's picture with the sound of a separate device: the sound lasts as
// long as the picture, within 40 ms.
TEST_F(EngineTest, LongSoundAndPictureStayInStepOverAMinute) {
  TdmCam& dm = Prepare(kMachine);
  ASSERT_TRUE(Select("Caméscope DV", "Micro"));
  dm.RecordAudioSource = true;
  ASSERT_TRUE(dm.BuildPreviewGraph(window_->MemberFilter()));
  const QString path = dir_.filePath(QStringLiteral("minute.avi"));
  ASSERT_TRUE(dm.BuildDVType2CaptureGraph(path));
  WatchGrabber();
  ASSERT_TRUE(dm.fg->RunGraph());
  const auto start = std::chrono::steady_clock::now();
  // The recording's length is the point of this test: the wait is on the clock.
  vt::WaitUntil(
      [&] { return std::chrono::steady_clock::now() - start >= std::chrono::seconds(60); },
      std::chrono::seconds(61));
  ASSERT_TRUE(dm.fg->StopGraph());
  const std::vector<vt::ProbedStream> streams = vt::Probe(path.toStdString());
  ASSERT_EQ(streams.size(), 2u);
  ASSERT_EQ(streams[1].type, "audio");
  const double picture = static_cast<double>(streams[0].frames) / 25.0;
  const double sound =
      static_cast<double>(vt::RecordedSoundSamples(path.toStdString(), streams[1].channels)) /
      streams[1].sampleRate;
  std::printf("[ in step  ] picture %.3f s, sound %.3f s\n", picture, sound);
  EXPECT_GT(picture, 55.0);
  EXPECT_NEAR(sound, picture, 0.040);
}
