// The preview graph on the simulated machine: every kind of source, classified by its pins,
// delivers numbered frames into sg and the video window (a video port leaves the tee's capture
// output free); the deinterlacer; listening; the reset; DV type 2 refused to another source and
// listened to through its tee. Sources without pictures are checked with the window's source
// boxes.
#include <QFileInfo>

#include "EngineTestSupport.h"

using namespace engine_test;

namespace {

constexpr const char* kMachine = kEveryKindMachine;
constexpr size_t kFrames = 10;

}  // namespace

// Then the deinterlacer between the source and sg for both kinds of source; one the machine no
// longer has fails the build (the component joins without a filter). Listening adds the audio
// renderer (asked for what is already so, nothing changes; each sound switched on and off on
// the running graph: the window's ChoicesTest); a reset leaves only the sources, the grabber and
// the window; a webcam has no DV sound to hear.
TEST_F(GraphTest, EveryKindOfSourceIsClassifiedAndPreviewedIntoTheGrabberAndTheWindow) {
  TdmCam& dm = Prepare(kMachine);
  ASSERT_TRUE(dm.BindFilterByName(QStringLiteral("DirectShow Filters"),
                                  QStringLiteral("Pinnacle Video Deinterlacer"), dm.Deinterlacer));
  const struct {
    const char* name;
    std::uint8_t kind;  // the classification by the source's pins
    bool dv;
    bool crossbar;
    const char* inserted;  // a filter the build puts between the source and sg
    // The DV decoder's resolution for the window's 384x288 area and for a 192x144 one: the
    // smallest picture that covers it shown at 4:3 (PAL's half is 384x288, NTSC's 320x240).
    int resolution;
    int smallAreaResolution;
  } kCases[] = {
      {"Caméscope DV", vskInterleaved, true, false, "DV Splitter", DVRESOLUTION_HALF,
       DVRESOLUTION_QUARTER},
      {"Caméscope NTSC", vskInterleaved, true, false, "DV Splitter", DVRESOLUTION_FULL,
       DVRESOLUTION_HALF},
      {"Webcam", vskPreview, false, false, nullptr, DVRESOLUTION_FULL, DVRESOLUTION_FULL},
      {"Carte d'acquisition", vskCapture, false, false, "Smart Tee", DVRESOLUTION_FULL,
       DVRESOLUTION_FULL},
      {"Carte TV", vskCapture, false, true, "Smart Tee", DVRESOLUTION_FULL, DVRESOLUTION_FULL},
      {"Port vidéo", vskVideoPort, false, false, "Smarttee", DVRESOLUTION_FULL,
       DVRESOLUTION_FULL},
      // Deinterlaced, full screen (the row's resolution is not checked).
      {"Caméscope DV", vskInterleaved, true, false, "Deinterlacer", -1, DVRESOLUTION_QUARTER},
      {"Webcam", vskPreview, false, false, "Deinterlacer", -1, DVRESOLUTION_FULL},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + (c.resolution < 0 ? " deinterlaced" : ""));
    dm.UseDeinterlacer = c.resolution < 0;
    ASSERT_TRUE(Select(c.name));
    dm.PreviewArea = QSize(192, 144);
    EXPECT_EQ(dm.ChoosePreviewResolution(), c.smallAreaResolution);
    dm.PreviewArea = QSize();
    EXPECT_EQ(dm.ChoosePreviewResolution(), DVRESOLUTION_FULL) << "full screen";
    // Deinterlaced: full screen, the whole picture (at half size a DV picture has one field).
    if (!dm.UseDeinterlacer) dm.PreviewArea = QSize(384, 288);
    EXPECT_EQ(dm.VideoSourceKind, c.kind);
    EXPECT_EQ(dm.IsDVSource, c.dv);
    EXPECT_TRUE(dm.SourcePin);
    EXPECT_TRUE(FiltersInGraph().contains(QStringLiteral("VideoSource")));
    ASSERT_TRUE(dm.BuildPreviewGraph(Renderer()));
    EXPECT_TRUE(dm.PreviewReady);
    EXPECT_TRUE(c.resolution < 0 || dm.PreviewResolution == c.resolution) << dm.PreviewResolution;
    EXPECT_EQ(static_cast<bool>(dm.Crossbar), c.crossbar);
    EXPECT_EQ(dm.CrossbarInputCount, c.crossbar ? 3 : dm.CrossbarInputCount);
    EXPECT_TRUE(dm.VideoStreamConfig) << "the source's capture pin configures its stream";
    EXPECT_TRUE(c.inserted == nullptr || CountNamed(QString::fromUtf8(c.inserted)) >= 1);
    EXPECT_TRUE(FiltersInGraph().contains(QStringLiteral("color")));
    if (dm.UseDeinterlacer) {
      EXPECT_TRUE(PinConnected(QStringLiteral("Deinterlacer"), 0) &&
                  PinConnected(QStringLiteral("Deinterlacer"), 1));
    }
    if (c.kind == vskVideoPort) {
      EXPECT_FALSE(FiltersInGraph().contains(QStringLiteral("Null")));
      EXPECT_TRUE(PinConnected(QStringLiteral("Smarttee"), 0));
      EXPECT_FALSE(PinConnected(QStringLiteral("Smarttee"), 1)) << "free for a recording";
    }
    RunAndWatch(kFrames);
    ASSERT_TRUE(dm.fg->StopGraph());
  }
  Simulate(std::string(kMachine) + "hide-filter Pinnacle Video Deinterlacer\n");
  ASSERT_TRUE(Select("Webcam"));
  EXPECT_FALSE(dm.BuildPreviewGraph(Renderer()));
  dm.UseDeinterlacer = false;
  Simulate(kMachine);

  const QString renderer = QStringLiteral("Default DirectSound Device");
  ASSERT_TRUE(Select("Caméscope DV", "Micro"));
  dm.ListenDVAudio = true;
  ASSERT_TRUE(dm.BuildPreviewGraph(Renderer()));
  EXPECT_EQ(CountNamed(renderer), 1) << FiltersInGraph().join(u',').toStdString();
  EXPECT_TRUE(dm.MonitorDVAudio(true));
  EXPECT_TRUE(dm.MonitorAudioSource(false));
  EXPECT_EQ(CountNamed(renderer), 1);
  ASSERT_TRUE(dm.fg->RunGraph());
  ASSERT_TRUE(dm.ResetGraph());
  QStringList names = FiltersInGraph();
  names.sort();
  EXPECT_EQ(names, (QStringList{QStringLiteral("AudioSource"), QStringLiteral("VideoSource"),
                                QStringLiteral("sg"), QStringLiteral("vwEcran")}));
  EXPECT_FALSE(PinConnected(QStringLiteral("sg"), 0));
  ASSERT_TRUE(dm.ReleaseSourceInterfaces());
  EXPECT_EQ(dm.VideoSource->FilterGraph(), nullptr);
  EXPECT_EQ(dm.AudioSource->FilterGraph(), nullptr);

  ASSERT_TRUE(Select("Webcam"));
  ASSERT_TRUE(dm.BuildPreviewGraph(Renderer()));
  const QStringList before = FiltersInGraph();
  EXPECT_FALSE(dm.MonitorDVAudio(true));
  EXPECT_EQ(FiltersInGraph(), before);

  // A source that is not DV refuses a DV type 2 graph and writes nothing; listening to the DV
  // sound during a DV type 2 recording goes through the tee.
  const QString path = dir_.filePath(QStringLiteral("refused.avi"));
  EXPECT_FALSE(dm.BuildDVType2CaptureGraph(path));
  EXPECT_FALSE(dm.AviMux);
  EXPECT_FALSE(dm.SwitchOutputFile(path)) << "no file writer to name";
  ASSERT_TRUE(dm.fg->RunGraph());
  ASSERT_TRUE(dm.fg->StopGraph());
  EXPECT_FALSE(QFileInfo::exists(path));
  ASSERT_TRUE(Select("Caméscope DV", "Micro"));
  dm.RecordDVAudio = true;
  dm.ListenDVAudio = true;
  ASSERT_TRUE(dm.BuildPreviewGraph(Renderer()));
  ASSERT_EQ(CountNamed(renderer), 1);
  ASSERT_TRUE(dm.BuildDVType2CaptureGraph(dir_.filePath(QStringLiteral("heard.avi"))));
  EXPECT_EQ(CountNamed(renderer), 1) << "the preview's renderer went, the tee's came";
  EXPECT_TRUE(PinConnected(QStringLiteral("Infinite"), 1));
  EXPECT_TRUE(PinConnected(QStringLiteral("Infinite"), 2));
  EXPECT_TRUE(dm.MonitorDVAudio(false));
  EXPECT_EQ(CountNamed(renderer), 0);
  EXPECT_TRUE(dm.MonitorDVAudio(true));
  EXPECT_EQ(CountNamed(renderer), 1);
}
